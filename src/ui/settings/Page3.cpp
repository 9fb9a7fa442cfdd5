// The settings window.
#include "ui/settings/Page3.h"

#include "base/Settings.h"
#include "base/Texts.h"
#include "engine/KeyLogLocation.h"
#include "ui/tools/ToolStyle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

const QString kVolume = QStringLiteral("volume");
const QString kAmplifier = QStringLiteral("amplifier");
const QString kDownloadHttp = QStringLiteral("downloadhttp");
const QString kMusicFromCache = QStringLiteral("getmusicfromcache");
const QString kKeyLogFile = QStringLiteral("keylogfile");
const QString kKeyLogEverywhere = QStringLiteral("keylogeverywhere");
const QString kStreamVariant = QStringLiteral("streamvariant");

// The stream choices as stored, in the order the list shows them.
const std::pair<const char*, const char16_t*> kVariants[] = {
    {"best", u"Best quality"},
    {"as played", u"As the page played it"},
    {"smallest", u"Smallest"},
};

// The format boxes in the order they are laid out, with their captions.
const std::pair<const char*, const char*> kFormats[] = {
    {"mp4", "MP4"},       {"x_flv", "FLV"},    {"webm", "WEBM"},     {"x_m4v", "M4V"},
    {"quicktime", "MOV"}, {"ogg", "OGV"},      {"mpeg", "MPG"},      {"x_matroska", "MKV"},
    {"x_ms_wmv", "WMV"},  {"threegpp", "3GP"}, {"x_msvideo", "AVI"},
};

const std::pair<const char*, const char*> kBrowsers[] = {
    {"chrome", "Google Chrome"},
    {"firefox", "Mozilla Firefox"},
    {"yandex", "Yandex Browser"},
    {"opera", "Opera"},
    // On this platform the value covers the other Chromium browsers.
    {"ie", "Brave, Vivaldi, Edge"},
};

QString defaultTextOf(const QString& name)
{
    for (const Settings::Definition& definition : Settings::table()) {
        if (name == QLatin1String(definition.name))
            return definition.defaultText ? QString::fromLatin1(definition.defaultText) : QString();
    }
    return {};
}

QLabel* hintLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

Page3::Page3(Settings& settings, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("Page3"));
    setWindowTitle(tx(u"Settings of Trawlix"));
    setModal(true);
    // Bold group titles; the boxes inside keep the normal font (style sheet fonts do not
    // propagate to children).
    setStyleSheet(QStringLiteral("QGroupBox { font-weight: bold; }"));

    auto* columns = new QHBoxLayout;
    columns->setSpacing(14);
    auto* left = new QVBoxLayout;
    left->setSpacing(12);
    left->addWidget(buildVideoGroup());
    left->addWidget(buildMusicGroup());
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(12);
    right->addWidget(buildPlayerGroup());
    right->addWidget(buildUsabilityGroup());
    right->addWidget(buildEncryptedGroup());
    right->addStretch(1);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    auto* buttons = new QDialogButtonBox;
    QPushButton* restore = buttons->addButton(tx(u"Restore defaults"), QDialogButtonBox::ResetRole);
    QPushButton* cancel = buttons->addButton(tx(u"Cancel"), QDialogButtonBox::RejectRole);
    QPushButton* save = buttons->addButton(tx(u"Save and Close"), QDialogButtonBox::AcceptRole);
    restore->setObjectName(QStringLiteral("restoreDefaults"));
    cancel->setObjectName(QStringLiteral("cancel"));
    save->setObjectName(QStringLiteral("saveAndClose"));
    save->setDefault(true);
    save->setFocus();
    connect(restore, &QPushButton::clicked, this, &Page3::restoreDefaults);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, &Page3::saveAndClose);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(18, 18, 18, 14);
    page->setSpacing(16);
    page->addLayout(columns);
    page->addWidget(buttons);

    connect(box(kAmplifier), &QCheckBox::toggled, this, &Page3::applyAmplifier);
    connect(box(kDownloadHttp), &QCheckBox::toggled, this, &Page3::updateEnabling);
    connect(box(kMusicFromCache), &QCheckBox::toggled, this, &Page3::updateEnabling);
    connect(m_volume, &QSlider::valueChanged, this,
            [this](int value) { m_volumeLabel->setText(tx(u"Default volume: ") + QString::number(value) + u'%'); });

    showValues([this](const QString& name) { return m_settings.read(name); });
    ToolStyle::followPalette(this);
}

Page3::~Page3() = default;

QGroupBox* Page3::buildVideoGroup()
{
    auto* group = new QGroupBox(tx(u"AUTOMATIC download of Videos"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(addBox(kDownloadHttp, tx(u"Search for videos in your HTTP internet traffic")));
    layout->addLayout(addBoxGrid(kFormats, 4, m_formatBoxes));
    layout->addWidget(addBox(QStringLiteral("accelerator"), tx(u"Accelerate downloading of video")));
    layout->addWidget(addBox(QStringLiteral("repairvideos"), tx(u"Repair damaged videos")));
    return group;
}

QGroupBox* Page3::buildMusicGroup()
{
    auto* group = new QGroupBox(tx(u"AUTOMATIC download of Music"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(
        addBox(QStringLiteral("downloadhttpmusic"), tx(u"Search for music in your HTTP internet traffic")));
    layout->addWidget(addBox(kMusicFromCache, tx(u"Extract music from the cache of your browser")));
    auto* cachesLabel = new QLabel(tx(u"Check cache of:"));
    cachesLabel->setContentsMargins(24, 4, 0, 0);
    layout->addWidget(cachesLabel);
    layout->addLayout(addBoxGrid(kBrowsers, 2, m_browserBoxes));
    return group;
}

QGroupBox* Page3::buildPlayerGroup()
{
    auto* group = new QGroupBox(tx(u"Player settings"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(addBox(QStringLiteral("cutpreview"), tx(u"Use the player to preview cutting")));
    layout->addWidget(addBox(QStringLiteral("aspect"), tx(u"Stretch all video to 16:9 format")));
    layout->addWidget(addBox(kAmplifier, tx(u"Allow to use the audio amplifier")));

    m_volume = new QSlider(Qt::Horizontal);
    m_volume->setObjectName(kVolume);
    m_volume->setTickPosition(QSlider::TicksBelow);
    m_volume->setTickInterval(5);
    m_volume->setSingleStep(1);
    m_volume->setPageStep(10);
    m_volume->setRange(0, 100);
    m_rangeLabel = new QLabel(QStringLiteral("100%"));
    m_rangeLabel->setObjectName(QStringLiteral("rangeLabel"));
    m_rangeLabel->setMinimumWidth(m_rangeLabel->fontMetrics().horizontalAdvance(QStringLiteral("200%")));
    auto* sliderRow = new QHBoxLayout;
    sliderRow->setContentsMargins(0, 8, 0, 0);
    sliderRow->addWidget(hintLabel(QStringLiteral("0%")));
    sliderRow->addWidget(m_volume, 1);
    sliderRow->addWidget(m_rangeLabel);
    layout->addLayout(sliderRow);
    m_volumeLabel = new QLabel(tx(u"Default volume: ") + QStringLiteral("100%"));
    m_volumeLabel->setObjectName(QStringLiteral("volumeLabel"));
    m_volumeLabel->setAlignment(Qt::AlignHCenter);
    QFont emphasis = m_volumeLabel->font();
    emphasis.setBold(true);
    m_volumeLabel->setFont(emphasis);
    layout->addWidget(m_volumeLabel);
    return group;
}

QGroupBox* Page3::buildUsabilityGroup()
{
    auto* group = new QGroupBox(tx(u"Usability settings"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(addBox(QStringLiteral("draganddrop"),
                             tx(u"Enable Drag and Drop for quick import/export videos without converting")));
    layout->addWidget(
        addBox(QStringLiteral("autoopenfolder"), tx(u"Open the output folder at the end of convertation process")));
    layout->addWidget(addBox(QStringLiteral("showmessage"), tx(u"Disable the system tray notification bubbles")));
    layout->addWidget(addBox(QStringLiteral("showdialogs"), tx(u"Disable confirmation dialogs")));
    layout->addWidget(addBox(QStringLiteral("restoremainwindow"), tx(u"Restore window position")));
    return group;
}

QGroupBox* Page3::buildEncryptedGroup()
{
    auto* group = new QGroupBox(tx(u"HTTPS sites and streams"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(new QLabel(tx(u"TLS key log that your browser writes (empty: Trawlix's own):")));
    auto* keyLogRow = new QHBoxLayout;
    m_keyLog = new QLineEdit;
    m_keyLog->setObjectName(kKeyLogFile);
    m_keyLog->setMaxLength(Settings::MaxValueLength);
    m_keyLog->setPlaceholderText(KeyLogLocation::ownPath());
    m_keyLog->setClearButtonEnabled(true);
    auto* choose = new QPushButton(tx(u"Choose..."));
    choose->setObjectName(QStringLiteral("chooseKeyLog"));
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, tx(u"TLS key log"), m_keyLog->text());
        if (!file.isEmpty())
            m_keyLog->setText(file);
    });
    keyLogRow->addWidget(m_keyLog, 1);
    keyLogRow->addWidget(choose);
    layout->addLayout(keyLogRow);
    layout->addWidget(addBox(kKeyLogEverywhere, tx(u"Every browser of my next login writes its TLS keys for Trawlix")));
    QLabel* privacy = hintLabel(tx(u"Privacy: while this is on, the keys of every HTTPS connection your programs\n"
                                   u"make are written to a file that only your user can read. Anyone who can\n"
                                   u"read it can read that traffic. Off by default."));
    privacy->setContentsMargins(24, 0, 0, 4);
    layout->addWidget(privacy);
    auto* variantRow = new QHBoxLayout;
    variantRow->addWidget(new QLabel(tx(u"Streams (HLS, DASH) in:")));
    m_streamVariant = new QComboBox;
    m_streamVariant->setObjectName(kStreamVariant);
    for (const auto& [stored, caption] : kVariants)
        m_streamVariant->addItem(tx(caption), QString::fromLatin1(stored));
    variantRow->addWidget(m_streamVariant, 1);
    layout->addLayout(variantRow);
    return group;
}

QCheckBox* Page3::addBox(const QString& valueName, const QString& caption)
{
    auto* checkBox = new QCheckBox(caption);
    checkBox->setObjectName(valueName);
    m_boxes.insert(valueName, checkBox);
    return checkBox;
}

QGridLayout*
Page3::addBoxGrid(std::span<const std::pair<const char*, const char*>> boxes, int columns, QList<QCheckBox*>& added)
{
    // Indented under the box that enables them.
    auto* grid = new QGridLayout;
    grid->setContentsMargins(24, 0, 0, 4);
    grid->setHorizontalSpacing(18);
    int index = 0;
    for (const auto& [name, caption] : boxes) {
        QCheckBox* checkBox = addBox(QString::fromLatin1(name), QString::fromLatin1(caption));
        added << checkBox;
        grid->addWidget(checkBox, index / columns, index % columns);
        ++index;
    }
    return grid;
}

bool Page3::isInverted(const QString& valueName)
{
    return valueName == QLatin1String("aspect") || valueName == QLatin1String("showmessage") ||
           valueName == QLatin1String("showdialogs");
}

bool Page3::checkedFor(const QString& valueName, const QString& storedText)
{
    // "Stretch" is checked only by an explicit "false", so a missing value shows unchecked.
    if (valueName == QLatin1String("aspect"))
        return storedText == QLatin1String("false");
    if (isInverted(valueName))
        return storedText != QLatin1String("true");
    return storedText == QLatin1String("true");
}

QString Page3::storedFor(const QString& valueName, bool checked)
{
    return checked != isInverted(valueName) ? QStringLiteral("true") : QStringLiteral("false");
}

void Page3::showValues(const std::function<QString(const QString&)>& textOf)
{
    for (auto it = m_boxes.cbegin(); it != m_boxes.cend(); ++it)
        it.value()->setChecked(checkedFor(it.key(), textOf(it.key())));
    applyAmplifier(box(kAmplifier)->isChecked());
    bool ok = false;
    const int volume = textOf(kVolume).trimmed().toInt(&ok);
    m_volume->setValue(ok ? volume : 0);
    // setValue() is silent when the position does not change.
    m_volumeLabel->setText(tx(u"Default volume: ") + QString::number(m_volume->value()) + u'%');
    m_keyLog->setText(textOf(kKeyLogFile));
    const int variant = m_streamVariant->findData(textOf(kStreamVariant));
    m_streamVariant->setCurrentIndex(variant < 0 ? 0 : variant); // anything else reads as the best
    updateEnabling();
}

void Page3::applyAmplifier(bool on)
{
    m_volume->setMaximum(on ? 200 : 100);
    m_rangeLabel->setText(on ? QStringLiteral("200%") : QStringLiteral("100%"));
}

void Page3::updateEnabling()
{
    const bool videos = box(kDownloadHttp)->isChecked();
    for (QCheckBox* format : std::as_const(m_formatBoxes))
        format->setEnabled(videos);
    box(QStringLiteral("accelerator"))->setEnabled(videos);
    box(QStringLiteral("repairvideos"))->setEnabled(videos);
    const bool caches = box(kMusicFromCache)->isChecked();
    for (QCheckBox* browser : std::as_const(m_browserBoxes))
        browser->setEnabled(caches);
}

void Page3::restoreDefaults()
{
    showValues(defaultTextOf);
}

QList<std::pair<QString, QString>> Page3::valuesToSave() const
{
    QList<std::pair<QString, QString>> values;
    for (const QString& name : Settings::saveOrder()) {
        if (name == kVolume)
            values.append({name, QString::number(m_volume->value())});
        else if (const QCheckBox* checkBox = box(name))
            values.append({name, storedFor(name, checkBox->isChecked())});
    }
    return values;
}

QList<std::pair<QString, QString>> Page3::encryptedValuesToSave() const
{
    return {{kKeyLogFile, m_keyLog->text().trimmed()},
            {kStreamVariant, m_streamVariant->currentData().toString()},
            {kKeyLogEverywhere, storedFor(kKeyLogEverywhere, box(kKeyLogEverywhere)->isChecked())}};
}

void Page3::saveAndClose()
{
    for (const auto& [name, text] : valuesToSave())
        m_settings.write(name, text);
    for (auto [name, text] : encryptedValuesToSave()) {
        if (name == kKeyLogEverywhere && (text == QLatin1String("true")) != m_settings.keyLogEverywhere()) {
            QString error;
            const bool on = text == QLatin1String("true");
            if (!(applyEnvironment ? applyEnvironment(on, error) : KeyLogLocation::applyEnvironment(on, error))) {
                QMessageBox::warning(this, windowTitle(), error);
                continue; // the stored switch keeps saying what the file says
            }
        }
        m_settings.write(name, text);
    }
    accept();
}

QCheckBox* Page3::box(const QString& valueName) const
{
    return m_boxes.value(valueName, nullptr);
}

QString Page3::volumeText() const
{
    return m_volumeLabel->text();
}

QString Page3::rangeText() const
{
    return m_rangeLabel->text();
}
