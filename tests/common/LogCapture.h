#pragma once

#include "support/Logger.h"

#include <cstdio>
#include <string>

// The process-wide diagnostic logger while it lives, written to a temp file.
class LogCapture {
public:
    LogCapture() : previous(diagnosticLogger()) { setDiagnosticLogger(&logger); }
    ~LogCapture()
    {
        setDiagnosticLogger(previous);
        std::fclose(record.file);
    }
    int count(const std::string &needle)
    {
        std::string all(static_cast<size_t>(std::ftell(record.file)), '\0');
        std::rewind(record.file);
        all.resize(std::fread(all.data(), 1, all.size(), record.file));
        int n = 0;
        for (size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1))
            ++n;
        return n;
    }

private:
    LogFileRecord record{std::tmpfile(), 1, false, 0, 0, L""};
    Logger logger{&record};
    Logger *previous;
};
