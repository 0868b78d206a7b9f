#include "fuzz_checks.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "common/stream_capture.h"

namespace kv_fuzz {

namespace {

[[noreturn]] void violation(const std::string& rule, const std::string& detail)
{
    std::fprintf(stderr, "\n==== fuzz check failed: %s\n%s\n====\n", rule.c_str(),
                 detail.c_str());
    std::abort();
}

// The text around position, for the report.
std::string excerpt(const std::string& text, std::string::size_type position)
{
    const std::string::size_type from = position > 300 ? position - 300 : 0;
    return text.substr(from, 600);
}

bool is_letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

std::string lower(std::string word)
{
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

}  // namespace

StepLimits input_limits()
{
    StepLimits limits;
    limits.max_steps = 1200;
    limits.max_seconds = 1.0;
    return limits;
}

ModelRun checked_run(const std::string& model_file)
{
    ModelRun run;
    std::string messages;
    {
        kv_test::CoutCapture output;
        kv_test::CerrCapture errors;
        run = run_model(model_file, input_limits());
        messages = errors.text();
    }

    if (run.input_errors != 0 && messages.empty() && run.error.empty())
        violation("the load failed without a message",
                  "input errors: " + std::to_string(run.input_errors));
    if (!run.ran) return run;

    const std::string listing = read_text_file(run.listing_path);
    const std::string::size_type bare = bare_error_line(listing);
    if (bare != std::string::npos)
        violation("the analysis ended with an error that has no message", excerpt(listing, bare));
    if (run.finished) {
        const std::string body = listing_body(listing);
        const std::string word = non_finite_word(body);
        if (!word.empty())
            violation("a finished analysis listed \"" + word + "\"",
                      excerpt(body, body.find(word)));
    }
    // Every result-file block that was written holds finite numbers, also when the
    // analysis stopped later.
    const std::string results = read_text_file(run.result_path);
    const std::string result_word = non_finite_word(results);
    if (!result_word.empty())
        violation("the result file holds \"" + result_word + "\"",
                  excerpt(results, results.find(result_word)));
    return run;
}

std::string listing_body(const std::string& listing)
{
    // The title header, then the title's lines, none of them empty, then an empty line.
    const std::string header = "\nTITLE\n";
    const std::string::size_type title = listing.find(header);
    if (title == std::string::npos) return listing;
    const std::string::size_type end = listing.find("\n\n", title + header.size() - 1);
    return end == std::string::npos ? std::string() : listing.substr(end + 2);
}

std::string non_finite_word(const std::string& text)
{
    std::string::size_type i = 0;
    while (i < text.size()) {
        if (!is_letter(text[i])) {
            ++i;
            continue;
        }
        std::string::size_type end = i;
        while (end < text.size() && is_letter(text[end])) ++end;
        const std::string word = text.substr(i, end - i);
        const std::string lowered = lower(word);
        if (lowered == "nan" || lowered == "inf" || lowered == "infinity") return word;
        i = end;
    }
    return std::string();
}

std::string::size_type bare_error_line(const std::string& listing)
{
    const std::string marker = "ERROR:";
    std::string::size_type line = 0;
    while (line < listing.size()) {
        std::string::size_type end = listing.find('\n', line);
        if (end == std::string::npos) end = listing.size();
        if (listing.compare(line, marker.size(), marker) == 0) {
            const std::string::size_type rest = listing.find_first_not_of(" \t\r", line + marker.size());
            if (rest == std::string::npos || rest >= end) return line;
        }
        line = end + 1;
    }
    return std::string::npos;
}

const std::string& scratch_directory()
{
    // Never destroyed, so that the removal at exit still has the name.
    static const std::string* const directory = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/kelvaned-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("kelvaned fuzz: cannot make a scratch directory");
            std::exit(1);
        }
        return new std::string(pattern + "/");
    }();
    static const bool removed_at_exit =
        std::atexit([] { std::filesystem::remove_all(*directory); }) == 0;
    (void)removed_at_exit;
    return *directory;
}

void write_file(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) {
        std::fprintf(stderr, "kelvaned fuzz: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

}  // namespace kv_fuzz
