#include "ConfigDlg.h"

#include "RegKeys.h"
#include "StringTable.h"
#include "zvs450.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

namespace {

struct FirmwareChoice {
    const char *text;
    unsigned code;
};

// The expected-firmware list: 0x10000 x major + 0x100 x the two digits after the point
// read as hexadecimal digits ("v1.43" is 0x14300).
constexpr FirmwareChoice kFirmwareChoices[] = {
    {QT_TRANSLATE_NOOP("HConfigDlg", "Automatic"), 0},       {"v1.43", 0x14300}, {"v1.42", 0x14200}, {"v1.30", 0x13000},
    {"v1.25", 0x12500},     {"v1.20", 0x12000}, {QT_TRANSLATE_NOOP("HConfigDlg", "Lower than v1.20"), 0x11FFF},
};
constexpr int kFirmwareChoiceCount = int(sizeof kFirmwareChoices / sizeof kFirmwareChoices[0]);

const char *const kPageTitles[HConfigDlg::kPageCount] = {
    text::kPageTimeout, text::kPageRom, text::kPageAdpcm, text::kPageBvf, text::kPageRawData, text::kPageFirmware,
};

// The text after its leading spaces and tabs.
QString skipBlanks(const QString &text)
{
    int i = 0;
    while (i < text.size() && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    return text.mid(i);
}

// Leading digits of base `base`; stops at the first other character. Wraps like the
// C library's conversions do not: a value beyond 32 bits keeps its low 32 bits.
unsigned leadingDigits(const QString &text, int base)
{
    quint64 v = 0;
    for (const QChar c : text) {
        const int d = c.isDigit() ? c.digitValue()
                      : (base == 16 && c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))
                          ? c.toLower().unicode() - 'a' + 10
                          : -1;
        if (d < 0 || d >= base || c.unicode() > 0x7f)
            break;
        v = (v * unsigned(base) + unsigned(d)) & 0xFFFFFFFFull;
    }
    return unsigned(v);
}

QString hex4(unsigned v) { return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper(); }

// "4,294,967,295": groups of three digits, as the time-out hints write numbers.
QString grouped(quint64 v)
{
    QString digits = QString::number(v);
    for (qsizetype pos = digits.size() - 3; pos > 0; pos -= 3)
        digits.insert(pos, QLatin1Char(','));
    return digits;
}

// The digits of a time-out field with its group separators taken out; none when the
// text holds anything else.
std::optional<QString> timeoutDigits(const QString &text)
{
    QString digits;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
        else if (c != QLatin1Char(',') && c != QLatin1Char(' '))
            return std::nullopt;
    }
    return digits;
}

// What can be typed into a time-out field: digits and group separators. A value below
// the minimum (an empty field too) can be typed on the way to a valid one; one above
// the maximum cannot.
class TimeoutValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        const std::optional<QString> digits = timeoutDigits(input);
        if (!digits)
            return Invalid;
        if (HConfigDlg::parseTimeout(input))
            return Acceptable;
        bool ok = false;
        const qulonglong value = digits->toULongLong(&ok);
        return digits->isEmpty() || (ok && value < HConfigDlg::kMinTimeoutMs) ? Intermediate : Invalid;
    }
};

// An edit wide enough to show its longest value whole in its own font, whatever the
// font's size; the layout then never squeezes it below that.
void fitToLongest(QLineEdit *edit, const QString &longest)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QFontMetrics fm(edit->font());
    // The edit's own margins around the text (2 on each side), and room for the cursor.
    const QMargins m = edit->textMargins();
    const QSize text(fm.horizontalAdvance(longest) + m.left() + m.right() + 2 * 2 + 2, fm.height());
    edit->setMinimumWidth(edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, edit).width());
}

QRadioButton *radio(const QString &text, QWidget *parent, QButtonGroup *group)
{
    auto *r = new QRadioButton(text, parent);
    group->addButton(r);
    return r;
}

} // namespace

std::optional<unsigned> HConfigDlg::parseTimeout(const QString &text)
{
    const std::optional<QString> digits = timeoutDigits(text.trimmed());
    if (!digits || digits->isEmpty())
        return std::nullopt;
    bool ok = false;
    const qulonglong value = digits->toULongLong(&ok);
    if (!ok || value < kMinTimeoutMs || value > kMaxTimeoutMs)
        return std::nullopt;
    return unsigned(value);
}

unsigned HConfigDlg::parseNumber(const QString &text)
{
    const QString t = skipBlanks(text);
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return leadingDigits(t.mid(2), 16);
    return leadingDigits(t, 10);
}

std::optional<unsigned> HConfigDlg::parseUsbId(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return 0u;
    if (t.size() != 4)
        return std::nullopt;
    bool ok = false;
    const unsigned value = t.toUInt(&ok, 16);
    return ok && !t.startsWith(QLatin1Char('+')) && !t.startsWith(QLatin1Char('-')) ? std::optional<unsigned>(value)
                                                                                      : std::nullopt;
}

int HConfigDlg::firmwareIndexFor(unsigned code)
{
    for (int i = 1; i < kFirmwareChoiceCount - 1; ++i)
        if (kFirmwareChoices[i].code == code)
            return i;
    if (code != 0 && code < 0x12000)
        return kFirmwareChoiceCount - 1;
    return 0;
}

unsigned HConfigDlg::firmwareCodeFor(int index)
{
    return index >= 1 && index < kFirmwareChoiceCount ? kFirmwareChoices[index].code : 0;
}

QString HConfigDlg::pageTitle(int page)
{
    return page >= 0 && page < kPageCount ? text::tr(kPageTitles[page]) : QString();
}

HConfigDlg::HConfigDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Configuration"));

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("tree"));  // 1001
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setColumnCount(1);
    m_tree->setIconSize(QSize(16, 16));
    const QStyle::StandardPixmap icons[kPageCount] = {
        QStyle::SP_BrowserReload, QStyle::SP_DriveHDIcon, QStyle::SP_MediaVolume,
        QStyle::SP_MediaVolume,   QStyle::SP_FileDialogDetailedView, QStyle::SP_ComputerIcon,
    };

    m_frame = new QGroupBox(this);  // 1004 around the page area 1003
    m_pages = new QStackedWidget(m_frame);
    auto *frameLayout = new QVBoxLayout(m_frame);
    frameLayout->addWidget(m_pages);

    for (int page = 0; page < kPageCount; ++page) {
        auto *item = new QTreeWidgetItem(m_tree, QStringList(pageTitle(page)));
        item->setIcon(0, style()->standardIcon(icons[page]));
        item->setData(0, Qt::UserRole, page + 1);
        m_pages->addWidget(buildPage(page));
    }
    // The page titles whole, in whatever font.
    int widestTitle = 0;
    for (int page = 0; page < kPageCount; ++page)
        widestTitle = std::max(widestTitle, m_tree->fontMetrics().horizontalAdvance(pageTitle(page)));
    // Text, icon, the item's margins and the frame.
    m_tree->setFixedWidth(std::max(170, widestTitle + m_tree->iconSize().width() + 24 + 2 * m_tree->frameWidth()));
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *cur) { onItemChanged(cur); });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *top = new QHBoxLayout;
    top->addWidget(m_tree);
    top->addWidget(m_frame, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    resize(sizeHint().expandedTo(QSize(620, 400)));

    loadValues();
    m_tree->setCurrentItem(m_tree->topLevelItem(0));
    showPage(0);
}

QWidget *HConfigDlg::buildPage(int page)
{
    auto *w = new QWidget;
    switch (page) {
    case 0: {
        auto *form = new QGridLayout(w);
        auto row = [&](int r, const char *label, const char *hint, QLineEdit **edit) {
            *edit = new QLineEdit(w);
            (*edit)->setValidator(new TimeoutValidator(*edit));
            fitToLongest(*edit, QLocale::c().toString(qulonglong(kMaxTimeoutMs)));
            auto *name = new QLabel(tr(label), w);
            name->setBuddy(*edit);
            form->addWidget(name, r, 0);
            form->addWidget(*edit, r, 1);
            form->addWidget(new QLabel(tr(hint), w), r, 2);
        };
        row(0, QT_TR_NOOP("Receiving Timeout [ms] :"), QT_TR_NOOP("(Recomend : 300,000)"), &m_c.recvTimeout);
        row(1, QT_TR_NOOP("Transmission Timeout [ms] :"), QT_TR_NOOP("(Recomend : 100,000)"), &m_c.sendTimeout);
        row(2, QT_TR_NOOP("Formating Timeout [ms] :"), QT_TR_NOOP("(Recomend : 3,000,000)"), &m_c.formatTimeout);
        // Transfers, like the time-outs: each copy read back after it arrived.
        m_c.verifyCopies = new QCheckBox(tr("Verify copies to the player"), w);
        form->addWidget(m_c.verifyCopies, 3, 0, 1, 3);
        form->setRowStretch(4, 1);
        break;
    }
    case 1: {
        auto *group = new QButtonGroup(w);
        auto *v = new QVBoxLayout(w);
        v->addWidget(m_c.romMds = radio(tr("ROM writing in MDS"), w, group));
        v->addWidget(m_c.romStandAlone = radio(tr("ROM writing in stand-alone mode"), w, group));
        v->addStretch();
        break;
    }
    case 2:
    case 3: {
        auto *group = new QButtonGroup(w);
        auto *v = new QVBoxLayout(w);
        QRadioButton *wav = radio(tr("Convert to WAV"), w, group);
        QRadioButton *binary = radio(page == 2 ? tr("Download Binary Brightfen ADPCM (BCW)")
                                               : tr("Download Binary Brightfen BVF"),
                                     w, group);
        v->addWidget(wav);
        v->addWidget(binary);
        v->addStretch();
        (page == 2 ? m_c.adpcmWav : m_c.bvfWav) = wav;
        (page == 2 ? m_c.adpcmBinary : m_c.bvfBinary) = binary;
        break;
    }
    case 4: {
        auto *grid = new QGridLayout(w);
        m_c.rawFile = new QLineEdit(w);
        m_c.rawViewer = new QLineEdit(w);
        m_c.rawAddr = new QLineEdit(w);
        m_c.rawCount = new QLineEdit(w);
        auto *browseFile = new QPushButton(tr("Browse >>"), w);  // 1028
        auto *browseViewer = new QPushButton(tr("Browse >>"), w);  // 1029
        browseFile->setObjectName(QStringLiteral("browseRawFile"));
        browseViewer->setObjectName(QStringLiteral("browseViewer"));
        connect(browseFile, &QPushButton::clicked, this, &HConfigDlg::browseRawFile);
        connect(browseViewer, &QPushButton::clicked, this, &HConfigDlg::browseViewer);
        grid->addWidget(new QLabel(tr("File Name to Save :"), w), 0, 0, 1, 4);
        grid->addWidget(m_c.rawFile, 1, 0, 1, 3);
        grid->addWidget(browseFile, 1, 3);
        grid->addWidget(new QLabel(tr("Viewer Link :"), w), 2, 0, 1, 4);
        grid->addWidget(m_c.rawViewer, 3, 0, 1, 3);
        grid->addWidget(browseViewer, 3, 3);
        grid->addWidget(new QLabel(tr("Block Address Range :"), w), 4, 0, 1, 4);
        fitToLongest(m_c.rawAddr, QStringLiteral("0xFFFFFFFF"));
        fitToLongest(m_c.rawCount, QString::number(0xFFFFFFFFu));
        auto *addr = new QLabel(tr("Addr :"), w);
        auto *count = new QLabel(tr("Count :"), w);
        addr->setBuddy(m_c.rawAddr);
        count->setBuddy(m_c.rawCount);
        grid->addWidget(addr, 5, 0);
        grid->addWidget(m_c.rawAddr, 5, 1);
        grid->addWidget(count, 5, 2);
        grid->addWidget(m_c.rawCount, 5, 3);
        grid->setRowStretch(6, 1);
        break;
    }
    case 5: {
        auto *v = new QVBoxLayout(w);
        v->addWidget(new QLabel(tr("Select Expected Firmware Version :"), w));
        m_c.firmware = new QComboBox(w);
        for (const FirmwareChoice &c : kFirmwareChoices)
            m_c.firmware->addItem(tr(c.text));
        v->addWidget(m_c.firmware);
        v->addWidget(new QLabel(tr("User Specific VID && PID : (hex only) (clear = 0)"), w));
        auto *ids = new QHBoxLayout;
        m_c.userVid = new QLineEdit(w);
        m_c.userPid = new QLineEdit(w);
        for (QLineEdit *id : {m_c.userVid, m_c.userPid}) {
            id->setMaxLength(4);
            fitToLongest(id, QStringLiteral("FFFF"));
            id->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,4}")), id));
        }
        ids->addWidget(new QLabel(tr("VID :"), w));
        ids->addWidget(m_c.userVid);
        ids->addWidget(new QLabel(tr("PID :"), w));
        ids->addWidget(m_c.userPid);
        v->addLayout(ids);
        m_c.internalOnly = new QCheckBox(tr("Use Internal Flash Only"), w);
        v->addWidget(m_c.internalOnly);
        v->addStretch();
        break;
    }
    default:
        break;
    }
    return w;
}

void HConfigDlg::showPage(int page)
{
    if (page < 0 || page >= kPageCount)
        return;
    m_page = page;
    m_pages->setCurrentIndex(page);
    m_frame->setTitle(pageCaption());
    QTreeWidgetItem *item = m_tree->topLevelItem(page);
    if (item && m_tree->currentItem() != item)
        m_tree->setCurrentItem(item);
}

QString HConfigDlg::pageCaption() const
{
    return QLatin1Char(' ') + pageTitle(m_page) + QLatin1Char(' ');
}

void HConfigDlg::onItemChanged(QTreeWidgetItem *current)
{
    if (current)
        showPage(current->data(0, Qt::UserRole).toInt() - 1);
}

void HConfigDlg::loadValues()
{
    unsigned recv = 0, send = 0, format = 0;
    zvs450_GetTimeouts(&recv, &send, &format);
    m_c.recvTimeout->setText(QString::number(recv));
    m_c.sendTimeout->setText(QString::number(send));
    m_c.formatTimeout->setText(QString::number(format));

    (RegKeys::romSelect() == 2 ? m_c.romMds : m_c.romStandAlone)->setChecked(true);
    (RegKeys::adpcmConvert() == 1 ? m_c.adpcmBinary : m_c.adpcmWav)->setChecked(true);
    (RegKeys::bvfConvert() == 1 ? m_c.bvfBinary : m_c.bvfWav)->setChecked(true);

    // Paths are shown whole: a cut path would be stored cut at OK.
    m_c.rawFile->setText(RegKeys::rawDataFileName());
    m_c.rawViewer->setText(RegKeys::rawDataViewer());
    unsigned addr = 0, count = 0;
    RegKeys::getRawDataRange(&addr, &count);
    m_c.rawAddr->setText(QString::number(addr));
    m_c.rawCount->setText(QString::number(count));

    m_c.firmware->setCurrentIndex(firmwareIndexFor(RegKeys::expectedFirmwareVersion()));
    unsigned vid = 0, pid = 0;
    RegKeys::getUserUsbId(&vid, &pid);
    m_c.userVid->setText(hex4(vid));
    m_c.userPid->setText(hex4(pid));
    m_c.internalOnly->setChecked(RegKeys::internalOnly());
    m_c.verifyCopies->setChecked(RegKeys::verifyCopies());
}

bool HConfigDlg::checkValues()
{
    unsigned recv = 0, send = 0, format = 0;
    zvs450_GetTimeouts(&recv, &send, &format);
    unsigned vid = 0, pid = 0;
    RegKeys::getUserUsbId(&vid, &pid);

    QStringList problems;
    QLineEdit *first = nullptr;
    int firstPage = 0;
    auto check = [&](QLineEdit *edit, int page, const char *name, bool valid, const QString &rule, const QString &old) {
        if (valid)
            return;
        problems << tr("%1: \"%2\" is %3. The old value %4 is kept.").arg(tr(name), edit->text(), rule, old);
        edit->setText(old);
        if (!first) {
            first = edit;
            firstPage = page;
        }
    };
    const QString timeoutRule = tr("not a whole number of milliseconds from %1 to %2")
                                    .arg(grouped(kMinTimeoutMs), grouped(kMaxTimeoutMs));
    // The value in force passes as it is, even one set before these limits: OK must
    // not refuse what it would put back.
    const auto timeoutOk = [](const QLineEdit *edit, unsigned old) {
        return parseTimeout(edit->text()).has_value() || edit->text().trimmed() == QString::number(old);
    };
    check(m_c.recvTimeout, 0, QT_TR_NOOP("Receiving Timeout"), timeoutOk(m_c.recvTimeout, recv), timeoutRule,
          QString::number(recv));
    check(m_c.sendTimeout, 0, QT_TR_NOOP("Transmission Timeout"), timeoutOk(m_c.sendTimeout, send), timeoutRule,
          QString::number(send));
    check(m_c.formatTimeout, 0, QT_TR_NOOP("Formating Timeout"), timeoutOk(m_c.formatTimeout, format), timeoutRule,
          QString::number(format));
    const QString idRule = tr("not four hexadecimal digits (an empty field means none)");
    check(m_c.userVid, 5, QT_TR_NOOP("VID"), parseUsbId(m_c.userVid->text()).has_value(), idRule, hex4(vid));
    check(m_c.userPid, 5, QT_TR_NOOP("PID"), parseUsbId(m_c.userPid->text()).has_value(), idRule, hex4(pid));
    if (!first)
        return true;
    showPage(firstPage);
    first->setFocus();
    first->selectAll();
    showInputProblems(problems.join(QLatin1Char('\n')));
    return false;
}

void HConfigDlg::storeValues()
{
    // New time-outs reach the library at once; the session writes them at exit.
    unsigned recv = 0, send = 0, format = 0;
    zvs450_GetTimeouts(&recv, &send, &format);
    zvs450_SetTimeouts(parseTimeout(m_c.recvTimeout->text()).value_or(recv),
                       parseTimeout(m_c.sendTimeout->text()).value_or(send),
                       parseTimeout(m_c.formatTimeout->text()).value_or(format));

    RegKeys::setRomSelect(m_c.romMds->isChecked() ? 2 : 0);
    RegKeys::setAdpcmConvert(m_c.adpcmBinary->isChecked() ? 1 : 0);
    RegKeys::setBvfConvert(m_c.bvfBinary->isChecked() ? 1 : 0);

    RegKeys::setRawDataFileName(m_c.rawFile->text());
    RegKeys::setRawDataViewer(m_c.rawViewer->text());
    RegKeys::setRawDataRange(parseNumber(m_c.rawAddr->text()), parseNumber(m_c.rawCount->text()));

    const unsigned version = firmwareCodeFor(m_c.firmware->currentIndex());
    RegKeys::setExpectedFirmwareVersion(version);
    zvs450_SetExpectedFirmwareVersion(version);
    unsigned oldVid = 0, oldPid = 0;
    RegKeys::getUserUsbId(&oldVid, &oldPid);
    const unsigned vid = parseUsbId(m_c.userVid->text()).value_or(oldVid);
    const unsigned pid = parseUsbId(m_c.userPid->text()).value_or(oldPid);
    RegKeys::setUserUsbId(vid, pid);
    zvs450_SetUserUsbId(vid, pid);
    const bool internalOnly = m_c.internalOnly->isChecked();
    RegKeys::setInternalOnly(internalOnly);
    // Takes effect at the next connection.
    zvs450_SetMemoryCount(internalOnly ? 1 : 2);
    RegKeys::setVerifyCopies(m_c.verifyCopies->isChecked());
}

void HConfigDlg::accept()
{
    if (!checkValues())
        return;
    storeValues();
    QDialog::accept();
}

void HConfigDlg::browseRawFile()
{
    const QString path = chooseSaveFile(m_c.rawFile->text());
    if (!path.isEmpty())
        m_c.rawFile->setText(path);
}

void HConfigDlg::browseViewer()
{
    const QString path = chooseOpenFile(m_c.rawViewer->text());
    if (!path.isEmpty())
        m_c.rawViewer->setText(path);
}

// Programs and data files here rarely carry the extensions of the filters' first
// entries, so the "all files" entry matches every name.
QString HConfigDlg::chooseSaveFile(const QString &initial)
{
    // The file is only named here: whether to replace it is asked when raw data is
    // about to be written into it.
    return QFileDialog::getSaveFileName(this, QString(), initial, tr("Data File (*.dat)") + QStringLiteral(";;") + tr("All Files (*)"),
                                        nullptr, QFileDialog::DontConfirmOverwrite);
}

QString HConfigDlg::chooseOpenFile(const QString &initial)
{
    // Programs here have no ".exe": the dialog starts on every file.
    QString all = tr("All Files (*)");
    return QFileDialog::getOpenFileName(this, QString(), initial,
                                        tr("Executable File (*.exe)") + QStringLiteral(";;") + all, &all);
}

void HConfigDlg::showInputProblems(const QString &text)
{
    QMessageBox::warning(this, windowTitle(), text);
}
