// output.cpp - what the tool prints.

#include "output.h"

#include "listing.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace cli {

std::string FatDateTime(uint16_t date, uint16_t time)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980u + (date >> 9), (date >> 5) & 0x0Fu,
                  date & 0x1Fu, (time >> 11) & 0x1Fu, (time >> 5) & 0x3Fu, (time & 0x1Fu) * 2u);
    return buf;
}

std::string ShortListingLine(const Entry &entry) { return entry.directory ? entry.name + "/" : entry.name; }

std::string LongListingLine(const Entry &entry)
{
    char head[64];
    if (entry.directory)
        std::snprintf(head, sizeof head, "d %8s %10s ", "-", "-");
    else
        std::snprintf(head, sizeof head, "f %8d %10u ", entry.number, unsigned(entry.record.dwSize));
    return head + FatDateTime(entry.record.wWriteDate, entry.record.wWriteTime) + " " + ShortListingLine(entry);
}

void PrintField(const std::string &key, const std::string &value) { std::cout << key << ": " << value << '\n'; }

void PrintField(const std::string &key, unsigned long long value) { PrintField(key, std::to_string(value)); }

bool Confirm(const std::string &question)
{
    std::cout.flush();
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
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
