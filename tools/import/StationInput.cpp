#include "tools/import/StationInput.h"

#include <algorithm>

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

bool IsJsonSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

BoundedInput::BoundedInput(QIODevice& source, qint64 maxBytes)
    : m_source(source), m_left(maxBytes)
{
    open(QIODevice::ReadOnly);
}

qint64 BoundedInput::readData(char* data, qint64 maxSize)
{
    if (m_tooLarge)
        return -1;
    // One byte past the bound tells a file of exactly the bound from a larger one.
    const qint64 read = m_source.read(data, std::min(maxSize, m_left + 1));
    if (read > m_left) {
        m_tooLarge = true;
        return -1;
    }
    if (read > 0)
        m_left -= read;
    return read;
}

XmlStretchBound::XmlStretchBound(QIODevice& source, qint64 maxStretch)
    : m_source(source), m_maxStretch(maxStretch)
{
    open(QIODevice::ReadOnly);
}

qint64 XmlStretchBound::readData(char* data, qint64 maxSize)
{
    if (m_exceeded)
        return -1;
    const qint64 read = m_source.read(data, maxSize);
    for (qint64 i = 0; i < read; ++i) {
        if (data[i] == '<') {
            m_stretch = 0;
        } else if (++m_stretch > m_maxStretch) {
            m_exceeded = true;
            return i > 0 ? i : -1;
        }
    }
    return read;
}

LineInput::LineInput(QIODevice& device, int firstNumber, qsizetype maxLineBytes)
    : m_device(device), m_maxLineBytes(maxLineBytes), m_number(firstNumber)
{
}

bool LineInput::Next(Line& line)
{
    line.text.clear();
    line.overlong = false;
    line.number = m_number;
    bool started = false;
    for (;;) {
        if (m_at >= m_buffer.size()) {
            m_buffer = m_device.read(kChunkBytes);
            m_at = 0;
            if (m_buffer.isEmpty())
                return started; // text after the last line break is a line too
        }
        if (m_skipLineFeed) {
            m_skipLineFeed = false;
            if (m_buffer[m_at] == '\n') {
                ++m_at;
                continue;
            }
        }
        started = true;
        const char* begin = m_buffer.constData() + m_at;
        const char* end = m_buffer.constData() + m_buffer.size();
        const char* lineEnd = std::find_if(begin, end, [](char c) { return c == '\n' || c == '\r'; });
        const qsizetype room = std::max<qsizetype>(0, m_maxLineBytes - line.text.size());
        if (lineEnd - begin > room)
            line.overlong = true;
        line.text.append(begin, std::min<qsizetype>(lineEnd - begin, room));
        m_at += lineEnd - begin;
        if (lineEnd != end) {
            m_skipLineFeed = *lineEnd == '\r';
            ++m_at;
            ++m_number;
            return true;
        }
    }
}

JsonElements::JsonElements(QIODevice& device, int firstLine, qsizetype maxElementBytes)
    : m_device(device), m_maxElementBytes(maxElementBytes), m_line(firstLine)
{
}

int JsonElements::Peek()
{
    if (m_at >= m_buffer.size()) {
        m_buffer = m_device.read(kChunkBytes);
        m_at = 0;
        if (m_buffer.isEmpty())
            return -1;
    }
    return static_cast<unsigned char>(m_buffer[m_at]);
}

void JsonElements::Advance()
{
    if (m_buffer[m_at] == '\n')
        ++m_line;
    ++m_at;
}

void JsonElements::SkipWhiteSpace()
{
    while (IsJsonSpace(Peek()))
        Advance();
}

JsonElements::Result JsonElements::Fail(const QString& error)
{
    m_error = error;
    m_state = State::Done;
    return Result::Error;
}

JsonElements::Result JsonElements::Next(Element& element)
{
    for (;;) {
        SkipWhiteSpace();
        const int c = Peek();
        switch (m_state) {
        case State::Start:
            if (c == '{') {
                m_single = true;
                m_state = State::Element;
            } else if (c == '[') {
                Advance();
                m_state = State::FirstElement;
            } else {
                return Fail(QStringLiteral("neither an array nor an object"));
            }
            continue;
        case State::FirstElement:
            if (c == ']') {
                Advance();
                m_state = State::Trailing;
                continue;
            }
            m_state = State::Element;
            continue;
        case State::Element:
            if (c < 0)
                return Fail(QStringLiteral("the list breaks off"));
            if (c == ',' || c == ']' || c == '}' || c == ':')
                return Fail(QStringLiteral("a value is missing"));
            ReadElement(element);
            m_state = m_single ? State::Trailing : State::Separator;
            return Result::Element;
        case State::Separator:
            if (c == ',') {
                Advance();
                m_state = State::Element;
            } else if (c == ']') {
                Advance();
                m_state = State::Trailing;
            } else {
                return Fail(c < 0 ? QStringLiteral("the list breaks off")
                                  : QStringLiteral("a comma is missing"));
            }
            continue;
        case State::Trailing:
            if (c < 0) {
                m_state = State::Done;
                return Result::End;
            }
            return Fail(QStringLiteral("more after the end of the list"));
        case State::Done:
            return Result::End;
        }
    }
}

// One value: an object or array up to its matching bracket, a string up to its closing quote,
// anything else up to the next white space, comma or bracket. A bracket that does not match is
// left for the parser of the element to find. Scanned a buffer at a time: a list may hold
// millions of elements.
void JsonElements::ReadElement(Element& element)
{
    element.bytes.truncate(0);
    element.line = m_line;
    element.overlong = false;
    const int first = Peek();
    const bool scalar = first != '{' && first != '[' && first != '"';
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    while (Peek() >= 0) {
        const char* begin = m_buffer.constData() + m_at;
        const char* end = m_buffer.constData() + m_buffer.size();
        const char* at = begin;
        bool done = false;
        for (; at < end && !done; ++at) {
            const char c = *at;
            if (scalar) {
                if (IsJsonSpace(c) || c == ',' || c == ']' || c == '}' || c == '[' || c == '{' ||
                    c == '"') {
                    done = true;
                    break; // the delimiter is not the element's
                }
                continue;
            }
            if (c == '\n')
                ++m_line;
            if (inString) {
                if (escaped)
                    escaped = false;
                else if (c == '\\')
                    escaped = true;
                else if (c == '"')
                    inString = false;
                // A string element ends with its quote.
                done = !inString && depth == 0;
            } else if (c == '"') {
                inString = true;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                done = --depth == 0;
            }
        }
        const qsizetype room = std::max<qsizetype>(0, m_maxElementBytes - element.bytes.size());
        if (at - begin > room)
            element.overlong = true;
        element.bytes.append(begin, std::min<qsizetype>(at - begin, room));
        m_at += at - begin;
        if (done)
            return;
    }
}
