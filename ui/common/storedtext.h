#pragma once
// Texts the program keeps as bytes (host names from the hosts file, file names from the settings)
// shown in and taken back from the dialogs' text fields, without changing a byte of what the user
// did not change.

#include <QString>

#include <string>

// Valid UTF-8 is shown as it is; anything else (a hosts file from an older system, in Latin-1) is
// shown byte by byte as Latin-1, so "B\xfcro" reads "Büro" rather than with a replacement sign.
QString shownText(const std::string& stored);

// What to keep for the text left in a field that was filled with shownText(stored): the stored
// bytes themselves while the text is the one shown, the text in UTF-8 once the user has changed it.
std::string editedText(const QString& text, const std::string& stored);
