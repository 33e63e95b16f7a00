// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/DeviceServices.h"
#include "audio/VirtualCard.h"
#include "settings/SettingsStore.h"
#include "ui/OknoGlowna.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <sys/resource.h>

// Finds a control by its objectName; a control that is missing ends the test program with its name.
template <class T> T* FindControl(const QObject& root, const char* name)
{
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
        qFatal("no control named %s", name);
    return found;
}

// Runs handler on the next modal widget as soon as it shows; counts the widgets it handled and notes
// the text of the last message box among them.
class TModalCloser
{
public:
    explicit TModalCloser(std::function<void(QWidget*)> handler) : Handler(std::move(handler))
    {
        Timer.setInterval(10);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++Handled;
                if (auto* message = qobject_cast<QMessageBox*>(modal))
                    Said = message->text();
                Handler(modal);
            }
        });
        Timer.start();
    }
    int Handled = 0;
    QString Said;

private:
    std::function<void(QWidget*)> Handler;
    QTimer Timer;
};

// Chooses `path` in a file dialog and accepts it. The dialog's file name field takes a selected file only
// while it has no focus, and it gains the focus as the dialog shows: a handler that runs after that
// would accept nothing and leave the dialog open, so the name is then typed into the field.
inline void ChooseInFileDialog(QFileDialog& dialog, const QString& path)
{
    dialog.selectFile(path);
    if (dialog.selectedFiles().isEmpty())
        if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QFileInfo(path).fileName());
    static_cast<QDialog&>(dialog).accept();
}

// The text of the i-th modal a TModalAnswers answered; fewer modals than that fail the test with the
// texts that were shown, instead of reading past their end.
#define QCOMPARE_SHOWN(answers, index, expected)                                                             \
    do {                                                                                                     \
        QVERIFY2((answers).Texts.size() > (index), qPrintable("shown: " + (answers).Texts.join(" | ")));     \
        QCOMPARE((answers).Texts.at(index), expected);                                                       \
    } while (false)

// A fresh main window on the virtual card with its default model, shown and active, that shows no
// report and asks nothing on closing; null when it never became active.
inline std::unique_ptr<TFormaGlowna> OpenWindowOnVirtualCard()
{
    TDeviceServices::UseVirtualCardOnly(true);
    TDeviceServices::VirtualCard().RestoreDefaults();
    auto window = std::make_unique<TFormaGlowna>(QStringList{"tonvix"});
    window->show();
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    window->State().Preferences.ShowRaport = false;
    window->State().Preferences.PromptOnClose = false;
    return window;
}

// The main window on the virtual card as a first start opens it: its settings from an empty file in
// `folder`, so that the defaults apply, kept by `settings` while the window lives. Asks nothing on
// closing; null when it never became active.
inline std::unique_ptr<TFormaGlowna> OpenFirstStartWindow(const QTemporaryDir& folder,
                                                          std::unique_ptr<TSettingsStore>& settings)
{
    TDeviceServices::UseVirtualCardOnly(true);
    TDeviceServices::VirtualCard().RestoreDefaults();
    QFile::remove(folder.filePath("Tonvix.ini"));
    settings = std::make_unique<TSettingsStore>(folder.filePath("Tonvix.ini"));
    auto window = std::make_unique<TFormaGlowna>(QStringList{"tonvix"});
    window->show();
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    window->State().Preferences.PromptOnClose = false;
    return window;
}

// Processor seconds used so far: RUSAGE_SELF by the whole process (with the virtual card's clock),
// RUSAGE_THREAD by the calling thread alone.
inline double CpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs `answer` on the next modal window to appear (a prompt the code under test is about to show),
// or on the next one with the given objectName. Returns the text the window showed, once the test has
// let events run.
class TModalAnswer
{
public:
    explicit TModalAnswer(std::function<void(QWidget*)> answer, const QString& name = QString())
        : Answer(std::move(answer))
    {
        Poll = new QTimer;
        QObject::connect(Poll, &QTimer::timeout, [this, name] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || (!name.isEmpty() && modal->objectName() != name))
                return;
            Poll->stop();
            Seen = true;
            if (auto* label = modal->findChild<QLabel*>("pnlDialog"))
                Text = label->text();
            else if (auto* box = qobject_cast<QMessageBox*>(modal))
                Text = box->text();
            Answer(modal);
        });
        Poll->start(5);
    }
    ~TModalAnswer() { delete Poll; }
    TModalAnswer(const TModalAnswer&) = delete;
    TModalAnswer& operator=(const TModalAnswer&) = delete;

    bool Seen = false;
    QString Text;

private:
    std::function<void(QWidget*)> Answer;
    QTimer* Poll;
};

// Answers of TModalAnswer: a file dialog's filter and file chosen and accepted; any dialog accepted.
inline std::function<void(QWidget*)> ChooseFile(const QString& path, int filter = 0)
{
    return [path, filter](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        dialog->selectNameFilter(dialog->nameFilters().at(filter));
        ChooseInFileDialog(*dialog, path);
    };
}
inline void Dismiss(QWidget* modal)
{
    static_cast<QDialog*>(modal)->accept();
}

// Types over an edit's text and leaves it, as a user does.
inline void TypeAndLeave(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, text);
    QFocusEvent leaving(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &leaving);
}

inline void Click(QWidget* dialog, const char* button)
{
    QPushButton* target = dialog->findChild<QPushButton*>(button);
    QVERIFY2(target != nullptr, button);
    target->click();
}
