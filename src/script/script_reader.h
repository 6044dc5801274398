#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace kolvane {

// The characters the reader skips everywhere: blank, TAB, LF, VT, FF and CR.
bool IsScriptWhitespace(char c);

// One top-level name as the search for a section reads it: its text (whitespace removed) and the
// span [begin, end) of the script it was read from.
struct ScriptName {
    std::string text;
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The top level of the script as the search for a section walks it.
struct ScriptOutline {
    std::vector<ScriptName> names;  // every name that is not empty, in order
    // Where the block starts that the file ends in without closing it; npos when every block
    // closes.
    std::size_t unclosedBlock = std::string::npos;
};

// Reads the install script: finds a named section and hands out its entries one by one, each as
// the text between its outer braces with every whitespace character removed.
//
// The script is read afresh by every FindSection, from the top. Whitespace is skipped before
// every character taken, so it separates nothing; only '{' and '}' have a meaning.
class ScriptReader {
  public:
    explicit ScriptReader(platform::Files& files) : m_files(files) {}
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;
    ~ScriptReader() { Close(); }

    // Remembers the script's path and tells whether the script can be opened for reading.
    bool Open(const std::string& path);

    // Positions the reader at the first entry of the first section called `name`. False when
    // there is no such section, or when the script cannot be read (ReadFailed tells which).
    bool FindSection(const std::string& name);

    // Whether the last search failed because the script could not be read to its end: gone
    // since Open, or a read error part way, as opposed to a script without the section.
    bool ReadFailed() const { return m_readFailed; }

    // The next entry of the section, or false at the section's end.
    bool ReadEntry(std::string& entry);

    void Close();

    const std::string& Path() const { return m_path; }

    // Walks the whole top level the way FindSection searches it and records what it reads. The
    // reader is then positioned as after a search in vain, its text still at hand.
    bool ReadOutline(ScriptOutline& outline);

    // The text read by the last FindSection, and the offset just past the last character taken
    // from it; empty and 0 when no section was searched.
    std::string_view Text() const;
    std::size_t Offset() const;

  private:
    // The script's text as read by FindSection, and the reading position in it.
    struct Stream {
        std::string text;
        std::size_t pos = 0;
        bool eof = false;
    };

    // Reads the script afresh, to be read from the top; false when it cannot be read.
    bool ReadFromTop();
    // Skips whitespace and takes one character; none at the end of the text.
    bool ReadChar(char& c);
    // The next character that ReadChar would take, without taking it.
    bool PeekChar(char& c);
    // Skips one block; false when the file ends inside it.
    bool SkipBlock();
    // The next name; `unclosedBlock` receives the start of a skipped block that never closes.
    ScriptName NextName(std::size_t* unclosedBlock = nullptr);

    platform::Files& m_files;
    std::optional<Stream> m_stream;
    std::string m_path;
    bool m_readFailed = false;
};

}  // namespace kolvane
