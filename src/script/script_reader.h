#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/files.h"

namespace kolvane {

// Reads the install script: finds a named section and hands out its entries one by one, each as
// the text between its outer braces with every whitespace character removed.
//
// The script is read afresh by every FindSection, from the top. Whitespace is skipped before
// every character taken, so it separates nothing; only '{' and '}' have a meaning.
class ScriptReader {
  public:
    explicit ScriptReader(platform::Files& files) : files_(files) {}
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;
    ~ScriptReader() { Close(); }

    // Remembers the script's path and tells whether the script can be opened for reading.
    bool Open(const std::string& path);

    // Positions the reader at the first entry of the first section called `name`.
    bool FindSection(const std::string& name);

    // The next entry of the section, or false at the section's end.
    bool ReadEntry(std::string& entry);

    void Close();

    const std::string& Path() const { return m_path; }

  private:
    // The script's text as read by FindSection, and the reading position in it.
    struct Stream {
        std::string text;
        std::size_t pos = 0;
        bool eof = false;
    };

    // Skips whitespace and takes one character; none at the end of the text.
    bool ReadChar(char& c);
    // The next character that ReadChar would take, without taking it.
    bool PeekChar(char& c);
    void SkipBlock();
    std::string NextName();

    platform::Files& files_;
    std::optional<Stream> m_stream;
    std::string m_path;
};

}  // namespace kolvane
