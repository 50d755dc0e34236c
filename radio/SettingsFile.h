#pragma once

#include <QByteArray>
#include <array>

// The five values of "setting.dat", in file order.
struct SettingsValues
{
    int keepSelected = 1; // 1 = "Keep selected Channel", 0 = "Random Selection every start"
    int nonStop = 1;      // the hidden "Non-stop" tick
    int startHour = 0;    // index in the hidden start-time list, -1 when none
    int hours = 0;        // index in the hidden hours list, -1 when none
    int volume = 50;      // 0-100 when written by the slider; read back as stored
};

using SettingsTexts = std::array<QByteArray, 5>;

// The texts a missing file is created with: "1", "1", "0", "0", "50".
SettingsTexts DefaultSettingsTexts();

// Reads "setting.dat" from the current directory. Each of the five lines runs to its LF or the
// end of the file; a missing line counts as 0. A file that cannot be opened is created with the
// defaults, and the defaults are returned.
SettingsValues ReadSettings();

// Replaces "setting.dat" atomically with the five texts joined by LF, no line end after the
// last. Returns false, leaving any previous file as it was, when it cannot be written.
bool WriteSettings(const SettingsTexts& texts);
// The five texts of the file's bytes: line by line up to LF, a missing line as the empty text.
SettingsTexts SettingsTextsFromBytes(const QByteArray& bytes);

// The five values as "%d" texts, ready for WriteSettings.
SettingsTexts TextsFromSettings(const SettingsValues& values);

// The five texts as values: leading white space, an optional sign and decimal digits; a text
// without digits gives 0.
SettingsValues SettingsFromTexts(const SettingsTexts& texts);
