// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QColor;
class QComboBox;
class QLineEdit;
class QListWidget;
class QWidget;
class TAudioIO;

// What the measuring windows beside the main one ("Odpowiedź impulsowa", "Funkcja przenoszenia") build
// alike: their controls, the card they take over from the main window, and their file dialogs.
namespace WindowParts {

QComboBox* NewCombo(QWidget* parent, const char* name, const QStringList& items);
// An edit for a number in the user's decimal form: digits and the separator, and the minus sign when
// `negative`.
QLineEdit* NewEdit(QWidget* parent, const char* name, bool negative);

// The number an edit holds, within lowest .. highest, written back in the program's form; `current`
// where the edit holds no number.
double TakeNumber(QLineEdit* edit, double current, double lowest, double highest);

// The main window's frame rate, block size and device into a window's own component.
void TakeCardChoice(TAudioIO& own, const TAudioIO& main);
// "Wejście: domyślne, wyjście: tonvix_null\n48000 Hz, jak w konfiguracji programu"
QString CardText(const TAudioIO& input, const TAudioIO& output);

// A file to save or to open, from `folder` on, which becomes the chosen file's folder; `suggested`
// names a file to save. Empty when the user cancels; `filter`, when given, receives the chosen filter.
QString ChooseFile(QWidget* parent, QString& folder, bool save, const QString& title,
                   const QStringList& filters, const QString& suggested = QString(),
                   QString* filter = nullptr);

// A series' line in a window's list: shown (checked), its name editable, in its colour; it becomes the
// current one. The list's signals stay quiet: the caller shows the change.
void AddSeriesItem(QListWidget* list, const QString& name, const QColor& colour);
// The series' line at `row` taken off the list, as quietly.
void RemoveSeriesItem(QListWidget* list, int row);

} // namespace WindowParts
