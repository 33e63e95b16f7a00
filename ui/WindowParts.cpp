// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowParts.h"

#include "audio/AudioIO.h"
#include "common/NumberFormat.h"
#include "settings/KeyFilter.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <algorithm>

namespace WindowParts {

QComboBox* NewCombo(QWidget* parent, const char* name, const QStringList& items)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->addItems(items);
    return combo;
}

QLineEdit* NewEdit(QWidget* parent, const char* name, bool negative)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    TKeyFilter::Install(edit, TKeyFilter::Digits + NumberFormat::DecimalSeparator() +
                                  (negative ? QStringLiteral("-") : QString()));
    return edit;
}

double TakeNumber(QLineEdit* edit, double current, double lowest, double highest)
{
    const double taken =
        std::clamp(NumberFormat::ParseNumber(edit->text()).value_or(current), lowest, highest);
    edit->setText(NumberFormat::General(taken));
    return taken;
}

void TakeCardChoice(TAudioIO& own, const TAudioIO& main)
{
    own.SetFrameRate(main.FrameRate());
    own.SetBufferSize(main.BufferSize());
    own.SetSampleFormat(main.SampleFormat());
    own.SetWaveDevice(main.WaveDevice());
    own.SetDeviceName(main.DeviceName());
}

QString CardText(const TAudioIO& input, const TAudioIO& output)
{
    const auto device = [](const TAudioIO& audio) {
        return audio.DeviceName().isEmpty() ? QStringLiteral("domyślne")
                                            : QString::fromUtf8(audio.DeviceName());
    };
    return QStringLiteral("Wejście: %1, wyjście: %2\n%3 Hz, jak w konfiguracji programu")
        .arg(device(input), device(output))
        .arg(input.FrameRate());
}

QString ChooseFile(QWidget* parent, QString& folder, bool save, const QString& title,
                   const QStringList& filters, const QString& suggested, QString* filter)
{
    QFileDialog dialog(parent, title, folder);
    dialog.setObjectName(save ? QStringLiteral("dlgZapisz") : QStringLiteral("dlgOtworz"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (save && !suggested.isEmpty())
        dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (filter)
        *filter = dialog.selectedNameFilter();
    const QString name = dialog.selectedFiles().constFirst();
    folder = QFileInfo(name).absolutePath();
    return name;
}

void AddSeriesItem(QListWidget* list, const QString& name, const QColor& colour)
{
    auto* item = new QListWidgetItem(name);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    item->setCheckState(Qt::Checked);
    item->setForeground(colour);
    const QSignalBlocker quiet(list);
    list->addItem(item);
    list->setCurrentRow(list->count() - 1);
}

void RemoveSeriesItem(QListWidget* list, int row)
{
    const QSignalBlocker quiet(list);
    delete list->takeItem(row);
}

} // namespace WindowParts
