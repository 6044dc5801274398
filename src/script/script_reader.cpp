#include "script/script_reader.h"

namespace kolvane {

bool IsScriptWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

namespace {

bool IsBrace(char c) {
    return c == '{' || c == '}';
}

}  // namespace

bool ScriptReader::Open(const std::string& path) {
    m_path = path;
    platform::ScopedFile file(m_files, m_path);
    return file.IsOpen();
}

void ScriptReader::Close() {
    m_stream.reset();
}

bool ScriptReader::ReadChar(char& c) {
    Stream& stream = *m_stream;
    while (stream.pos < stream.text.size() && IsScriptWhitespace(stream.text[stream.pos])) {
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

bool ScriptReader::SkipBlock() {
    if (m_stream->eof) {
        return true;
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
            return true;
        }
    }
    return false;
}

ScriptName ScriptReader::NextName(std::size_t* unclosedBlock) {
    ScriptName name;
    if (m_stream->eof) {
        return name;
    }
    char c = 0;
    if (PeekChar(c) && IsBrace(c)) {
        const std::size_t blockBegin = m_stream->pos;
        if (!SkipBlock() && unclosedBlock != nullptr) {
            *unclosedBlock = blockBegin;
        }
    }
    while (PeekChar(c) && !IsBrace(c)) {
        if (name.text.empty()) {
            name.begin = m_stream->pos;
        }
        name.text += c;
        name.end = ++m_stream->pos;
    }
    return name;
}

bool ScriptReader::ReadFromTop() {
    Close();
    Stream stream;
    m_readFailed = !m_files.ReadContents(m_path, stream.text);
    if (!m_readFailed) {
        m_stream = std::move(stream);
    }
    return !m_readFailed;
}

bool ScriptReader::FindSection(const std::string& name) {
    if (!ReadFromTop()) {
        return false;
    }
    while (NextName().text != name) {
        if (m_stream->eof) {
            return false;
        }
    }
    char opening = 0;
    ReadChar(opening);
    return true;
}

bool ScriptReader::ReadOutline(ScriptOutline& outline) {
    outline = ScriptOutline();
    if (!ReadFromTop()) {
        return false;
    }
    while (!m_stream->eof) {
        ScriptName name = NextName(&outline.unclosedBlock);
        if (!name.text.empty()) {
            outline.names.push_back(std::move(name));
        }
    }
    return true;
}

std::string_view ScriptReader::Text() const {
    return m_stream ? std::string_view(m_stream->text) : std::string_view();
}

std::size_t ScriptReader::Offset() const {
    return m_stream ? m_stream->pos : 0;
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
