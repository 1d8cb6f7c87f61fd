// output.cpp - what the tool prints.

#include "output.h"

#include "cli.h"
#include "listing.h"

#include <localname_core.h>

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace cli {
namespace {

int g_outputEscape = -1;  // an Escape, or -1: not chosen yet

void AppendEscaped(std::string *out, unsigned char c)
{
    static const char kNamed[] = "\\a\\b\\t\\n\\v\\f\\r";  // 7 to 13
    if (c >= 7 && c <= 13) {
        out->append(kNamed + 2 * (c - 7), 2);
        return;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\%03o", unsigned(c));
    out->append(buf);
}

}  // namespace

std::string Escaped(const std::string &text, Escape style)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned long cp = 0;
        const size_t len = zvs450_DecodeUtf8(text, i, &cp);
        if (len != 0 && !zvs450_IsControlCharacter(cp)) {
            if (cp == '\\' && style == Escape::Backslash)
                out += "\\\\";
            else
                out.append(text, i, len);
            i += len;
            continue;
        }
        const size_t bytes = len == 0 ? 1 : len;
        if (style == Escape::Hide)
            out += '?';
        else
            for (size_t k = 0; k < bytes; ++k)
                AppendEscaped(&out, uint8_t(text[i + k]));
        i += bytes;
    }
    return out;
}

Escape OutputEscape()
{
    if (g_outputEscape < 0)
        g_outputEscape = int(isatty(STDOUT_FILENO) == 1 ? Escape::Hide : Escape::Backslash);
    return Escape(g_outputEscape);
}

void SetOutputEscape(Escape style) { g_outputEscape = int(style); }

std::string ForOutput(const std::string &text) { return Escaped(text, OutputEscape()); }

std::string ForMessage(const std::string &text) { return Escaped(text, Escape::Message); }

int Fail(const std::string &message)
{
    std::cout.flush();
    std::fprintf(stderr, "zvc450: %s\n", ForMessage(message).c_str());
    return kExitFailed;
}

int UsageError(const std::string &command, const std::string &message)
{
    std::cout.flush();
    std::fprintf(stderr, "zvc450: %s%s%s\n", ForMessage(command).c_str(), command.empty() ? "" : ": ",
                 ForMessage(message).c_str());
    std::fprintf(stderr, "Try 'zvc450 %s%s--help'.\n", ForMessage(command).c_str(), command.empty() ? "" : " ");
    return kExitUsage;
}

std::string FatDateTime(uint16_t date, uint16_t time)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980u + (date >> 9), (date >> 5) & 0x0Fu,
                  date & 0x1Fu, (time >> 11) & 0x1Fu, (time >> 5) & 0x3Fu, (time & 0x1Fu) * 2u);
    return buf;
}

std::string ShortListingLine(const Entry &entry)
{
    const std::string name = ForOutput(entry.name);
    return entry.directory ? name + "/" : name;
}

std::string LongListingLine(const Entry &entry)
{
    char head[64];
    if (entry.directory)
        std::snprintf(head, sizeof head, "d %8s %10s ", "-", "-");
    else
        std::snprintf(head, sizeof head, "f %8d %10u ", entry.number, unsigned(entry.record.dwSize));
    return head + FatDateTime(entry.record.wWriteDate, entry.record.wWriteTime) + " " + ShortListingLine(entry);
}

void PrintField(const std::string &key, const std::string &value)
{
    std::cout << key << ": " << ForOutput(value) << '\n';
}

void PrintField(const std::string &key, unsigned long long value) { PrintField(key, std::to_string(value)); }

bool Confirm(const std::string &question)
{
    std::cout.flush();
    std::fprintf(stderr, "%s [y/N] ", ForMessage(question).c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::fputc('\n', stderr);
        return false;
    }
    while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\r'))
        answer.pop_back();
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES" || answer == "Yes";
}

ProgressLine::ProgressLine(const std::string &label, bool quiet)
    : label_(label), draw_(!quiet && isatty(STDERR_FILENO) == 1)
{
}

ProgressLine::~ProgressLine()
{
    if (drawn_)
        std::fputc('\n', stderr);
}

void ProgressLine::Update(unsigned long long position, unsigned long long total)
{
    if (!draw_)
        return;
    const int percent = total == 0 ? 100 : int(position >= total ? 100 : position * 100 / total);
    if (percent == shown_)
        return;
    shown_ = percent;
    drawn_ = true;
    constexpr int kWidth = 20;
    const std::string bar = std::string(size_t(percent * kWidth / 100), '#') +
                            std::string(size_t(kWidth - percent * kWidth / 100), '-');
    std::fprintf(stderr, "\r%s  [%s] %3d %%\033[K", label_.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
}

}  // namespace cli
