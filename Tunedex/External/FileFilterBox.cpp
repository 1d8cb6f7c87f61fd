#include "FileFilterBox.h"

#include "StringTable.h"

#include <QFileIconProvider>
#include <QMimeDatabase>

HFileFilterBox::HFileFilterBox(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("FilterComboBox"));
    // Entry 0 carries the system's name and icon for MP3 files when it knows them.
    const QMimeType mp3 = QMimeDatabase().mimeTypeForFile(QStringLiteral("x.mp3"), QMimeDatabase::MatchExtension);
    QString text = text::tr(text::kFilterMp3);
    QIcon icon;
    if (mp3.isValid() && !mp3.isDefault()) {
        if (!mp3.comment().isEmpty())
            text += QStringLiteral(" - ") + mp3.comment();
        icon = QIcon::fromTheme(mp3.iconName(), QIcon::fromTheme(mp3.genericIconName(),
                                                                 QFileIconProvider().icon(QFileIconProvider::File)));
    }
    addItem(icon, text, QStringLiteral("*.mp3"));
    addItem(text::tr(text::kFilterAll), QStringLiteral("*.*"));
    setCurrentIndex(1);
    connect(this, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { emit filterChanged(itemData(index).toString()); });
}

void HFileFilterBox::setFilter(const QString &filter)
{
    setCurrentIndex(filter.compare(QLatin1String("*.mp3"), Qt::CaseInsensitive) == 0 ? 0 : 1);
}

QString HFileFilterBox::filter() const
{
    return currentData().toString();
}
