#include "support/FakeProgram.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

} // namespace

std::vector<FakeRun> ParseFakeRuns(const std::string& text)
{
    std::vector<FakeRun> runs;
    bool open = false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            throw std::runtime_error("malformed fake program record line: " + line);
        std::string key = line.substr(0, eq);
        std::string value = Unescape(line.substr(eq + 1));
        if (key == "run") {
            if (open)
                throw std::runtime_error("fake program record: run without end");
            runs.emplace_back();
            runs.back().pid = std::stoi(value);
            open = true;
            continue;
        }
        if (!open)
            throw std::runtime_error("fake program record: line outside a run: " + line);
        FakeRun& run = runs.back();
        if (key == "cwd") {
            run.cwd = value;
        } else if (key == "arg") {
            run.args.push_back(value);
        } else if (key == "env") {
            size_t sep = value.find('=');
            run.env[value.substr(0, sep)] = sep == std::string::npos ? "" : value.substr(sep + 1);
        } else if (key == "end") {
            open = false;
        } else {
            throw std::runtime_error("fake program record: unknown key " + key);
        }
    }
    if (open)
        throw std::runtime_error("fake program record: last run has no end");
    return runs;
}

std::vector<FakeRun> ReadFakeRuns(const std::string& recordFile)
{
    std::ifstream in(recordFile, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return ParseFakeRuns(text.str());
}
