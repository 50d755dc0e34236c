#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

// The readers under the station import: a station list is read as it streams in, a line or a
// JSON element at a time, so that memory follows what is kept and never the size of the file.

// Passes on at most `maxBytes` of another device and then ends early, noting it: a pipe reports
// no size, so the bound is kept while reading.
class BoundedInput : public QIODevice
{
public:
    BoundedInput(QIODevice& source, qint64 maxBytes);

    // True once the source held more than the bound.
    bool TooLarge() const { return m_tooLarge; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QIODevice& m_source;
    qint64 m_left;
    bool m_tooLarge = false;
};

// Passes on a device's XML and ends it early at a stretch without markup longer than the bound
// (a text, or a tag with its attributes), noting it: an XML reader gathers a whole text before
// it hands any of it over, so one endless text would be held whole.
class XmlStretchBound : public QIODevice
{
public:
    XmlStretchBound(QIODevice& source, qint64 maxStretch);

    bool Exceeded() const { return m_exceeded; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QIODevice& m_source;
    qint64 m_maxStretch;
    qint64 m_stretch = 0;
    bool m_exceeded = false;
};

// Lines of a device one at a time. A line break is LF, CR LF or a CR alone (as old Mac files
// have it); a line longer than the bound is cut there and marked, and the rest of it skipped.
class LineInput
{
public:
    struct Line
    {
        QByteArray text; // without its line break
        int number = 0;  // 1-based
        bool overlong = false;
    };

    LineInput(QIODevice& device, int firstNumber, qsizetype maxLineBytes);

    // The next line; false at the end of the input.
    bool Next(Line& line);

private:
    QIODevice& m_device;
    qsizetype m_maxLineBytes;
    int m_number;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    bool m_skipLineFeed = false;
};

// The elements of a JSON text that is one array (or one object, taken as the only element), one
// at a time with the line each starts on. Only the array's own syntax is checked here; each
// element's bytes, up to the bound, are for a JSON parser.
class JsonElements
{
public:
    struct Element
    {
        QByteArray bytes; // the first bytes only when overlong
        int line = 0;
        bool overlong = false;
    };
    enum class Result { Element, End, Error };

    JsonElements(QIODevice& device, int firstLine, qsizetype maxElementBytes);

    Result Next(Element& element);
    // After Error: what was wrong and where.
    const QString& Error() const { return m_error; }
    int ErrorLine() const { return m_line; }

private:
    enum class State { Start, FirstElement, Element, Separator, Trailing, Done };

    // The byte at the read position, or -1 at the end of the input.
    int Peek();
    void Advance();
    void SkipWhiteSpace();
    Result Fail(const QString& error);
    void ReadElement(Element& element);

    QIODevice& m_device;
    qsizetype m_maxElementBytes;
    int m_line;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    State m_state = State::Start;
    bool m_single = false; // the text is one object, not an array
    QString m_error;
};
