// Feeds arbitrary bytes to the small readers of network and file input; the first byte picks
// the reader: 0 the version file, 1 a stream title, 2 "setting.dat", 3 "channel.dat", 4 a
// stream file. Besides crashes it stops on a result the reader's own rules forbid.
#include "FuzzCheck.h"
#include "directory/LocalFiles.h"
#include "directory/StreamFetch.h"
#include "directory/UpdateNotice.h"
#include "radio/NowPlaying.h"
#include "radio/SettingsFile.h"

#include <QLoggingCategory>
#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("wavelark.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 5) {
    case 0:
        Require(std::isfinite(NewestVersionFromText(bytes)));
        break;
    case 1: {
        const QString title = CleanStreamTitle(QString::fromUtf8(bytes));
        Require(title.size() <= kMaxStreamTitleLength);
        for (const QChar c : title)
            Require(c.category() != QChar::Other_Control &&
                    (c == QLatin1Char(' ') || !c.isSpace()));
        Require(!title.startsWith(QLatin1Char(' ')) && !title.endsWith(QLatin1Char(' ')));
        break;
    }
    case 2: {
        const SettingsTexts texts = SettingsTextsFromBytes(bytes);
        qsizetype total = 0;
        for (const QByteArray& text : texts) {
            Require(!text.contains('\n'));
            total += text.size();
        }
        Require(total <= bytes.size());
        SettingsFromTexts(texts);
        break;
    }
    case 3: {
        const QByteArray name = StartChannelFromBytes(bytes, QByteArrayLiteral("package0"));
        Require(!name.contains('\n') && !name.contains('\0') && name.size() <= bytes.size() + 6);
        break;
    }
    default: {
        const QByteArray line = EntryLine(bytes);
        Require(!line.contains('\n') && !line.startsWith("<!DOCTYP") &&
                line.size() <= bytes.size());
        break;
    }
    }
    return 0;
}
