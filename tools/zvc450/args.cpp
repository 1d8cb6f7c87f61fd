// args.cpp - command-line parsing.

#include "args.h"

#include <cerrno>
#include <cstdlib>

namespace cli {
namespace {

// The memory, --quiet and --help mean the same wherever they stand.  Returns true
// when `word` was one of them.
bool TakeCommon(const std::string &word, GlobalOptions *global, bool *help, std::string *error, bool *ok)
{
    *ok = true;
    if (word == "--help" || word == "-h") {
        *help = true;
        return true;
    }
    if (word == "--internal" || word == "--external") {
        const int memory = word == "--internal" ? 0 : 1;
        if (global->memoryChosen && global->memory != memory) {
            *error = "--internal and --external exclude each other";
            *ok = false;
        }
        global->memory = memory;
        global->memoryChosen = true;
        return true;
    }
    if (word == "--quiet" || word == "-q") {
        global->quiet = true;
        return true;
    }
    return false;
}

}  // namespace

bool ParseUnsigned(const std::string &text, unsigned long long max, unsigned *value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char *end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v > max || v > 0xFFFFFFFFull)
        return false;
    *value = static_cast<unsigned>(v);
    return true;
}

bool ParseGlobal(int argc, char **argv, GlobalOptions *global, int *next, bool *help, bool *version,
                 std::string *error)
{
    int i = 1;
    for (; i < argc; ++i) {
        const std::string word = argv[i];
        bool ok = true;
        if (TakeCommon(word, global, help, error, &ok)) {
            if (!ok)
                return false;
            continue;
        }
        if (word == "--version") {
            *version = true;
            continue;
        }
        if (word == "--timeout" || word.rfind("--timeout=", 0) == 0) {
            std::string value;
            if (word == "--timeout") {
                if (i + 1 >= argc) {
                    *error = "--timeout needs a number of seconds";
                    return false;
                }
                value = argv[++i];
            } else {
                value = word.substr(10);
            }
            unsigned seconds = 0;
            if (!ParseUnsigned(value, 86400, &seconds) || seconds == 0) {
                *error = "--timeout: '" + value + "' is not a number of seconds from 1 to 86400";
                return false;
            }
            global->timeoutMs = seconds * 1000u;
            continue;
        }
        if (word == "--")
            ++i;
        else if (word.size() > 1 && word[0] == '-') {
            *error = "unknown option '" + word + "'";
            return false;
        }
        break;
    }
    *next = i;
    return true;
}

bool ParseCommand(const std::vector<std::string> &words, const std::vector<OptionSpec> &options,
                  GlobalOptions *global, Args *out, bool *help, std::string *error)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string &word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            out->operands.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        bool ok = true;
        if (TakeCommon(word, global, help, error, &ok)) {
            if (!ok)
                return false;
            continue;
        }
        // --name, --name=value, -x, -x value, -xvalue
        const OptionSpec *match = nullptr;
        std::string inlineValue;
        bool hasInline = false;
        if (word[1] == '-') {
            std::string name = word.substr(2);
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                hasInline = true;
                name.resize(eq);
            }
            for (const OptionSpec &s : options)
                if (name == s.longName)
                    match = &s;
        } else {
            for (const OptionSpec &s : options)
                if (s.shortName != 0 && word[1] == s.shortName)
                    match = &s;
            if (match && word.size() > 2) {
                if (!match->takesValue) {
                    *error = "unknown option '" + word + "'";
                    return false;
                }
                inlineValue = word.substr(2);
                hasInline = true;
            }
        }
        if (!match) {
            *error = "unknown option '" + word + "'";
            return false;
        }
        const std::string name = std::string("--") + match->longName;
        if (!match->takesValue) {
            if (hasInline) {
                *error = name + " takes no value";
                return false;
            }
            out->options[match->longName] = std::string();
            continue;
        }
        if (!hasInline) {
            if (i + 1 >= words.size()) {
                *error = name + " needs a value";
                return false;
            }
            inlineValue = words[++i];
        }
        out->options[match->longName] = inlineValue;
    }
    return true;
}

}  // namespace cli
