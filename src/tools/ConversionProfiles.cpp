#include "tools/ConversionProfiles.h"

#include "base/AppPaths.h"
#include "base/Texts.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <tinyxml2.h>

namespace {

const char* const kListPaths[ParamListCount][2] = {
    {"video", "codec"}, {"video", "bitrate"}, {"video", "framerate"},  {"video", "size"},
    {"audio", "codec"}, {"audio", "bitrate"}, {"audio", "samplerate"}, {"audio", "channel"},
};

QString attribute(const tinyxml2::XMLElement* element, const char* name)
{
    const char* value = element->Attribute(name);
    return value ? QString::fromUtf8(value).left(ProfileSet::MaxTextLength) : QString();
}

QString textOf(const tinyxml2::XMLElement* element)
{
    const char* value = element ? element->GetText() : nullptr;
    return value ? QString::fromUtf8(value).left(ProfileSet::MaxTextLength) : QString();
}

bool tooMany(int count, QString* error, const char* what)
{
    if (count < ProfileSet::MaxItems)
        return false;
    if (error)
        *error = QStringLiteral("more than %1 %2").arg(ProfileSet::MaxItems).arg(QLatin1String(what));
    return true;
}

QList<ParamEntry> readList(const tinyxml2::XMLElement* list)
{
    QList<ParamEntry> entries;
    for (const auto* value = list->FirstChildElement("value"); value && entries.size() < ProfileSet::MaxEntries;
         value = value->NextSiblingElement("value")) {
        entries.append({textOf(value), value->Attribute("default") != nullptr, value->Attribute("auto") != nullptr});
    }
    return entries;
}

ConversionProfile readProfile(const tinyxml2::XMLElement* element)
{
    ConversionProfile profile;
    profile.name = attribute(element, "name");
    profile.desc = attribute(element, "desc");
    profile.groups = attribute(element, "groups");
    profile.fileExt = attribute(element, "file_ext");
    profile.user = element->Attribute("user") != nullptr;
    const auto* params = element->FirstChildElement("params");
    if (!params)
        return profile;
    for (int i = 0; i < ParamListCount; ++i) {
        const auto* part = params->FirstChildElement(kListPaths[i][0]);
        const auto* list = part ? part->FirstChildElement(kListPaths[i][1]) : nullptr;
        if (!list)
            continue;
        profile.defined[i] = true;
        profile.lists[i] = readList(list);
    }
    const auto* limits = params->FirstChildElement("limits");
    for (const auto* limit = limits ? limits->FirstChildElement("limit") : nullptr;
         limit && profile.limits.size() < ProfileSet::MaxEntries; limit = limit->NextSiblingElement("limit")) {
        ProfileLimit entry{attribute(limit, "depend"), attribute(limit, "value"), {}, {}, false, false};
        if (const auto* video = limit->FirstChildElement("video")) {
            const auto* size = video->FirstChildElement("size");
            const auto* sizeMax = size ? size->FirstChildElement("max") : nullptr;
            const auto* bitrate = video->FirstChildElement("bitrate");
            const auto* bitrateMax = bitrate ? bitrate->FirstChildElement("max") : nullptr;
            entry.hasSizeMax = sizeMax != nullptr;
            entry.sizeMax = textOf(sizeMax);
            entry.hasBitrateMax = bitrateMax != nullptr;
            entry.bitrateMax = textOf(bitrateMax);
        }
        profile.limits.append(entry);
    }
    return profile;
}

// The selection rule: the last entry with `default`, or with `auto` while the defaults are
// used; 0 when none. Counted over the entries taken.
ParamChoice choose(const QList<ParamEntry>& entries, qsizetype count, bool useDefaults)
{
    ParamChoice choice;
    choice.defined = true;
    for (qsizetype i = 0; i < count && i < entries.size(); ++i) {
        choice.entries << entries.at(i).text;
        if (entries.at(i).isDefault || (useDefaults && entries.at(i).isAuto))
            choice.selected = static_cast<int>(i);
    }
    return choice;
}

// How many entries a maximum lets through: up to and including the first entry equal to it;
// all of them when it matches none.
qsizetype takenUpTo(const QList<ParamEntry>& entries, const QString& max)
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).text == max)
            return i + 1;
    }
    return entries.size();
}

QString replaceCategoryTexts(QString text)
{
    for (const char16_t* role : {u"Mobile Phones", u"Video Files", u"Audio Files", u"Other Devices"})
        text.replace(QString::fromUtf16(role), tx(role));
    return text;
}

QString replaceGroupTexts(QString text)
{
    for (const char16_t* role : {u"Samsung Phones", u"Samsung Tablets", u"Android Phones", u"Android Tablets"})
        text.replace(QString::fromUtf16(role), tx(role));
    // The old phones' group is stored as "Mobile Phone"; in English it reads as the longer text,
    // so it must not be replaced twice.
    if (!text.contains(tx(u"Old Mobile Phones")))
        text.replace(QStringLiteral("Mobile Phone"), tx(u"Old Mobile Phones"));
    for (const char16_t* role : {u"Common Video Formats", u"Common Audio Formats"})
        text.replace(QString::fromUtf16(role), tx(role));
    return text;
}

// Loads and parses a document for editing; false when it is missing, too big or malformed.
bool loadDocument(const QString& path, tinyxml2::XMLDocument& document, bool* missing)
{
    QFile file(path);
    *missing = !file.exists();
    QByteArray bytes;
    if (*missing) {
        bytes = ProfileStore::shippedDocument();
    } else {
        if (file.size() > ProfileSet::MaxFileSize || !file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.read(ProfileSet::MaxFileSize + 1);
    }
    return bytes.size() <= ProfileSet::MaxFileSize &&
           document.Parse(bytes.constData(), static_cast<size_t>(bytes.size())) == tinyxml2::XML_SUCCESS &&
           document.FirstChildElement("root") != nullptr;
}

bool saveDocument(const QString& path, const tinyxml2::XMLDocument& document)
{
    tinyxml2::XMLPrinter printer;
    document.Print(&printer);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(printer.CStr(), static_cast<qint64>(printer.CStrSize() > 0 ? printer.CStrSize() - 1 : 0));
    return file.commit();
}

} // namespace

QString ParamChoice::selectedText() const
{
    return selected >= 0 && selected < entries.size() ? entries.at(selected) : QString();
}

bool ConversionProfile::audioOnly() const
{
    // The audio extensions the converter knows, and Opus, whose output has no video either.
    static const char* const kAudio[] = {"(*.mp2)",  "(*.mp3)", "(*.ogg)", "(*.aac)", "(*.ac3)",
                                         "(*.aiff)", "(*.m4a)", "(*.ape)", "(*.au)",  "(*.dts)",
                                         "(*.flac)", "(*.wav)", "(*.wma)", "(*.opus)"};
    for (const char* extension : kAudio) {
        if (desc.contains(QLatin1String(extension)))
            return true;
    }
    return false;
}

bool ProfileSet::parse(const QByteArray& xml, ProfileSet& set, QString* error)
{
    set = ProfileSet();
    if (xml.size() > MaxFileSize) {
        if (error)
            *error = QStringLiteral("the file is larger than %1 bytes").arg(MaxFileSize);
        return false;
    }
    tinyxml2::XMLDocument document;
    if (document.Parse(xml.constData(), static_cast<size_t>(xml.size())) != tinyxml2::XML_SUCCESS) {
        if (error) {
            *error = QStringLiteral("line %1: %2")
                         .arg(document.ErrorLineNum())
                         .arg(QString::fromUtf8(document.ErrorStr()).left(MaxTextLength));
        }
        return false;
    }
    const auto* root = document.FirstChildElement("root");
    if (!root) {
        if (error)
            *error = QStringLiteral("line 1: the document element is not \"root\"");
        return false;
    }
    set.outputFolder = attribute(root, "output_folder");
    if (const auto* categories = root->FirstChildElement("categories")) {
        for (const auto* c = categories->FirstChildElement("category"); c; c = c->NextSiblingElement("category")) {
            if (tooMany(static_cast<int>(set.categories.size()), error, "categories"))
                return false;
            set.categories.append({attribute(c, "name"), attribute(c, "desc")});
        }
    }
    if (const auto* groups = root->FirstChildElement("groups")) {
        for (const auto* g = groups->FirstChildElement("group"); g; g = g->NextSiblingElement("group")) {
            if (tooMany(static_cast<int>(set.groups.size()), error, "groups"))
                return false;
            set.groups.append({attribute(g, "name"), attribute(g, "desc"), attribute(g, "in_category")});
        }
    }
    if (const auto* profiles = root->FirstChildElement("profiles")) {
        for (const auto* p = profiles->FirstChildElement("profile"); p; p = p->NextSiblingElement("profile")) {
            if (tooMany(static_cast<int>(set.profiles.size()), error, "profiles"))
                return false;
            set.profiles.append(readProfile(p));
        }
    }
    return true;
}

int ProfileSet::indexOfDesc(const QString& text) const
{
    for (qsizetype i = 0; i < profiles.size(); ++i) {
        if (profiles.at(i).desc == text)
            return static_cast<int>(i);
    }
    return -1;
}

QStringList ProfileSet::profilePaths() const
{
    QStringList paths;
    QSet<QString> seen;
    for (const ProfileGroup& group : groups) {
        if (group.name.isEmpty())
            continue;
        for (const ConversionProfile& profile : profiles) {
            if (paths.size() >= MaxTreeNodes)
                return paths;
            if (!profile.name.isEmpty() && profile.groups.contains(group.name)) {
                const QString path = group.name + QLatin1Char('/') + profile.name;
                if (!seen.contains(path)) {
                    seen.insert(path);
                    paths << path;
                }
            }
        }
    }
    return paths;
}

int ProfileSet::indexOfPath(const QString& path) const
{
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    if (slash <= 0)
        return -1;
    const QString groupKey = path.left(slash);
    const QString profileKey = path.mid(slash + 1);
    for (const ProfileGroup& group : groups) {
        if (group.name.isEmpty() || (group.name != groupKey && group.desc != groupKey))
            continue;
        for (qsizetype i = 0; i < profiles.size(); ++i) {
            const ConversionProfile& profile = profiles.at(i);
            if (profile.groups.contains(group.name) && (profile.name == profileKey || profile.desc == profileKey))
                return static_cast<int>(i);
        }
    }
    return -1;
}

QList<ProfileTreeNode> ProfileSet::tree(QList<int>* selectedLeaf) const
{
    QList<ProfileTreeNode> top;
    if (selectedLeaf)
        selectedLeaf->clear();
    int nodes = 0;
    for (const ProfileCategory& category : categories) {
        if (++nodes > MaxTreeNodes)
            break;
        ProfileTreeNode categoryNode{replaceCategoryTexts(category.desc), -1, {}};
        for (const ProfileGroup& group : groups) {
            if (nodes >= MaxTreeNodes)
                break;
            if (!group.inCategory.contains(category.name))
                continue;
            ++nodes;
            ProfileTreeNode groupNode{replaceGroupTexts(group.desc), -1, {}};
            for (qsizetype i = 0; i < profiles.size() && nodes < MaxTreeNodes; ++i) {
                if (!profiles.at(i).groups.contains(group.name))
                    continue;
                ++nodes;
                if (profiles.at(i).user && selectedLeaf) {
                    *selectedLeaf = {static_cast<int>(top.size()), static_cast<int>(categoryNode.children.size()),
                                     static_cast<int>(groupNode.children.size())};
                }
                groupNode.children.append({profiles.at(i).desc, static_cast<int>(i), {}});
            }
            categoryNode.children.append(groupNode);
        }
        top.append(categoryNode);
    }
    return top;
}

std::array<ParamChoice, ParamListCount> ProfileSet::choices(int profile, bool useDefaults) const
{
    std::array<ParamChoice, ParamListCount> result;
    if (profile < 0 || profile >= profiles.size())
        return result;
    const ConversionProfile& p = profiles.at(profile);
    for (int i = 0; i < ParamListCount; ++i) {
        if (p.defined.at(i))
            result.at(i) = choose(p.lists.at(i), p.lists.at(i).size(), useDefaults);
    }
    applyCodec(profile, result.at(static_cast<int>(ParamList::VideoCodec)).selectedText(), useDefaults, result);
    return result;
}

void ProfileSet::applyCodec(int profile,
                            const QString& codec,
                            bool useDefaults,
                            std::array<ParamChoice, ParamListCount>& choices) const
{
    if (profile < 0 || profile >= profiles.size())
        return;
    const ConversionProfile& p = profiles.at(profile);
    const int sizeIndex = static_cast<int>(ParamList::Resolution);
    const int bitrateIndex = static_cast<int>(ParamList::VideoBitrate);
    qsizetype sizeCount = p.lists.at(sizeIndex).size();
    qsizetype bitrateCount = p.lists.at(bitrateIndex).size();
    for (const ProfileLimit& limit : p.limits) {
        if (limit.depend != QLatin1String("Video Codec") || limit.value != codec)
            continue;
        if (limit.hasSizeMax)
            sizeCount = takenUpTo(p.lists.at(sizeIndex), limit.sizeMax);
        if (limit.hasBitrateMax)
            bitrateCount = takenUpTo(p.lists.at(bitrateIndex), limit.bitrateMax);
    }
    choices.at(sizeIndex) =
        p.defined.at(sizeIndex) ? choose(p.lists.at(sizeIndex), sizeCount, useDefaults) : ParamChoice();
    choices.at(bitrateIndex) =
        p.defined.at(bitrateIndex) ? choose(p.lists.at(bitrateIndex), bitrateCount, useDefaults) : ParamChoice();
}

namespace ProfileStore {

QString defaultPath()
{
    return AppPaths::file(QStringLiteral("profiles.xml"));
}

QByteArray shippedDocument()
{
    QFile file(QStringLiteral(":/trawlix/profiles.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(ProfileSet::MaxFileSize);
}

ProfileSet shippedSet()
{
    ProfileSet set;
    ProfileSet::parse(shippedDocument(), set, nullptr);
    return set;
}

ProfileLoad load(const QString& path)
{
    ProfileLoad result;
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
        result.source = ProfileLoad::Source::Shipped;
        result.set = shippedSet();
        // No file is the usual case (the user saved no profile of their own): nothing to say.
        if (file.exists())
            result.notice = QStringLiteral("%1 cannot be read: using the profiles built into the program")
                                .arg(QFileInfo(path).fileName());
        return result;
    }
    const QByteArray bytes = file.read(ProfileSet::MaxFileSize + 1);
    QString error;
    if (!ProfileSet::parse(bytes, result.set, &error)) {
        result.source = ProfileLoad::Source::Malformed;
        result.set = shippedSet();
        result.notice =
            QStringLiteral("%1, %2; using the profiles built into the program").arg(QFileInfo(path).fileName(), error);
        return result;
    }
    result.source = ProfileLoad::Source::File;
    return result;
}

bool remember(const QString& path, const QString& desc)
{
    tinyxml2::XMLDocument document;
    bool missing = false;
    if (!loadDocument(path, document, &missing))
        return false;
    auto* profiles = document.FirstChildElement("root")->FirstChildElement("profiles");
    bool changed = false;
    bool matched = false;
    for (auto* p = profiles ? profiles->FirstChildElement("profile") : nullptr; p;
         p = p->NextSiblingElement("profile")) {
        const char* own = p->Attribute("desc");
        if (!matched && own && QString::fromUtf8(own) == desc) {
            matched = true;
            const char* user = p->Attribute("user");
            if (!user || !*user) {
                p->SetAttribute("user", "1");
                changed = true;
            }
        } else if (p->Attribute("user")) {
            p->DeleteAttribute("user");
        }
    }
    return changed && saveDocument(path, document);
}

bool setOutputFolder(const QString& path, const QString& folder)
{
    tinyxml2::XMLDocument document;
    bool missing = false;
    if (folder.isEmpty() || !loadDocument(path, document, &missing))
        return false;
    auto* root = document.FirstChildElement("root");
    const char* current = root->Attribute("output_folder");
    if (current && QString::fromUtf8(current) == folder)
        return false;
    root->SetAttribute("output_folder", folder.toUtf8().constData());
    return saveDocument(path, document);
}

QString outputFolder(const ProfileSet& set)
{
    QString folder = set.outputFolder.isEmpty() ? AppPaths::documentsDir() : set.outputFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace ProfileStore
