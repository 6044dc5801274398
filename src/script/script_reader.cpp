#include "script/script_reader.h"

namespace kolvane {
namespace {

bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsBrace(char c) {
    return c == '{' || c == '}';
}

}  // namespace

bool ScriptReader::Open(const std::string& path) {
    m_path = path;
    platform::ScopedFile file(files_, m_path);
    return file.IsOpen();
}

void ScriptReader::Close() {
    m_stream.reset();
}

bool ScriptReader::ReadChar(char& c) {
    Stream& stream = *m_stream;
    while (stream.pos < stream.text.size() && IsWhitespace(stream.text[stream.pos])) {
        ++stream.pos;
    }
    if (stream.pos >= stream.text.size()) {
        stream.eof = true;
        return false;
    }
    c = stream.text[stream.pos++];
    return true;
}

bool ScriptReader::PeekChar(char& c) {
    if (!ReadChar(c)) {
        return false;
    }
    --m_stream->pos;
    return true;
}

void ScriptReader::SkipBlock() {
    if (m_stream->eof) {
        return;
    }
    long depth = 0;
    char c = 0;
    while (ReadChar(c)) {
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            --depth;
        }
        if (depth <= 0) {
            return;
        }
    }
}

std::string ScriptReader::NextName() {
    std::string name;
    if (m_stream->eof) {
        return name;
    }
    char c = 0;
    if (PeekChar(c) && IsBrace(c)) {
        SkipBlock();
    }
    while (PeekChar(c) && !IsBrace(c)) {
        name += c;
        ++m_stream->pos;
    }
    return name;
}

bool ScriptReader::FindSection(const std::string& name) {
    Close();
    Stream stream;
    if (!files_.ReadContents(m_path, stream.text)) {
        return false;
    }
    m_stream = std::move(stream);
    while (NextName() != name) {
        if (m_stream->eof) {
            return false;
        }
    }
    char opening = 0;
    ReadChar(opening);
    return true;
}

bool ScriptReader::ReadEntry(std::string& entry) {
    entry.clear();
    if (!m_stream) {
        return false;
    }
    char c = 0;
    if (!ReadChar(c) || c != '{') {
        return false;
    }
    long depth = 0;
    do {
        if (c == '{') {
            if (++depth != 1) {
                entry += c;
            }
        } else if (c == '}') {
            if (--depth != 0) {
                entry += c;
            }
        } else {
            entry += c;
        }
        if (depth <= 0) {
            return true;
        }
    } while (ReadChar(c));
    entry.clear();  // an entry still open at the end of the file is not delivered
    return false;
}

}  // namespace kolvane
