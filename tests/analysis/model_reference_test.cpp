// The model-file reference (docs/model-file.md) against the reader: every word
// the reader accepts is documented, the reference names no word the reader does
// not accept, and every complete model in it loads and runs.

#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "example_harness.h"
#include "kvparser.h"
#include "run_model.h"

using namespace kv_test;

namespace {

const std::string source_dir = KV_SOURCE_DIR;

std::string reference_text() { return read_text_file(source_dir + "/docs/model-file.md"); }

// The reference without its fenced blocks (drawings and models), and the fenced
// blocks whose info string is "dat": the complete models.
struct Reference {
    std::string prose;
    std::vector<std::string> models;
};

Reference split_reference(const std::string& text)
{
    Reference reference;
    std::istringstream in(text);
    std::string line;
    bool fenced = false;
    bool model = false;
    std::string block;
    while (std::getline(in, line)) {
        if (line.rfind("```", 0) == 0) {
            if (fenced && model) reference.models.push_back(block);
            model = !fenced && line == "```dat";
            fenced = !fenced;
            block.clear();
            continue;
        }
        if (fenced)
            block += line + '\n';
        else
            reference.prose += line + '\n';
    }
    return reference;
}

// An input word as the reference writes it: lower case, a keyword's star allowed.
bool is_input_word(const std::string& token)
{
    static const std::regex word("\\*?[a-z][a-z0-9]*");
    return std::regex_match(token, word);
}

// Every input word inside backticks in the prose; a backticked run of several
// fields (`mass 500`) contributes each of its words.
std::set<std::string> documented_words(const std::string& prose)
{
    std::set<std::string> words;
    static const std::regex code("`([^`]+)`");
    for (std::sregex_iterator it(prose.begin(), prose.end(), code), end; it != end; ++it) {
        std::istringstream fields((*it)[1].str());
        std::string token;
        while (fields >> token)
            if (is_input_word(token)) words.insert(token);
    }
    return words;
}

// The words the reader compares its fields with: the keyword and element tables
// and every comparison with a literal in the section readers.
std::set<std::string> reader_words()
{
    std::set<std::string> words;
    static const std::regex literal("(?:[!=]=\\s*\"([^\"]+)\")|(?:\\{\\s*\"([^\"]+)\"\\s*,)");
    for (const char* file : {"kvparser.cpp", "read_model_sections.cpp", "read_materials.cpp",
                             "read_loads.cpp", "read_controls.cpp"}) {
        const std::string text = read_text_file(source_dir + "/analysis/" + file);
        EXPECT_FALSE(text.empty()) << file;
        for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it) {
            const std::string word = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
            if (is_input_word(word)) words.insert(word);
        }
    }
    // Degree-of-freedom and load fields: a letter, and for the directional kinds
    // an axis.
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        KelVane::dof_type dof{};
        KelVane::Dof::Load load{};
        bool scalar = false;
        if (input_data::dof_type_of_letter(letter, dof))
            scalar = dof == KelVane::temperature_type;
        else if (input_data::load_type_of_letter(letter, load))
            scalar = load == KelVane::Dof::heat_flux;
        else
            continue;
        if (scalar) {
            words.insert(std::string(1, letter));
        } else {
            for (char axis : {'x', 'y', 'z'}) words.insert(std::string{letter, axis});
        }
    }
    return words;
}

TEST(ModelReference, DocumentsEveryWordTheReaderAcceptsAndNoOther)
{
    const Reference reference = split_reference(reference_text());
    ASSERT_FALSE(reference.prose.empty()) << "docs/model-file.md is missing";
    const std::set<std::string> documented = documented_words(reference.prose);
    const std::set<std::string> accepted = reader_words();
    // A table that stopped matching would make both checks empty.
    ASSERT_GT(accepted.size(), 80u);

    for (const std::string& word : accepted)
        EXPECT_TRUE(documented.count(word)) << "the reference does not document `" << word << "`";
    for (const std::string& word : documented)
        EXPECT_TRUE(accepted.count(word)) << "the reader does not accept `" << word << "`";
}

class ModelReferenceModels : public ScratchFiles {};

TEST_F(ModelReferenceModels, EveryCompleteModelLoadsAndRunsToItsEnd)
{
    const Reference reference = split_reference(reference_text());
    ASSERT_GE(reference.models.size(), 8u);
    for (std::size_t i = 0; i < reference.models.size(); ++i) {
        const std::string path =
            write_model("reference_model_" + std::to_string(i + 1) + ".dat", reference.models[i]);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const ModelRun run = run_model(path);
        testing::internal::GetCapturedStdout();
        const std::string messages = testing::internal::GetCapturedStderr();
        SCOPED_TRACE("model " + std::to_string(i + 1) + " of the reference");
        EXPECT_EQ(run.input_errors, 0) << messages;
        EXPECT_TRUE(run.ran);
        EXPECT_EQ(run.error, "");
        const std::string listing = read_text_file(run.listing_path);
        EXPECT_NE(listing.find("TITLE"), std::string::npos);
        EXPECT_EQ(listing.find("nan"), std::string::npos) << listing;
        EXPECT_EQ(listing.find("inf"), std::string::npos) << listing;
    }
}

}  // namespace
