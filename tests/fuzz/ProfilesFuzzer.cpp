// Feeds arbitrary bytes to the reader of "profiles.xml" and walks what it accepted the way the
// converter window does: the tree, every profile's lists under both rules, each limit's codec,
// and the names --profile takes.
#include "base/Texts.h"
#include "tools/ConversionProfiles.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The tree's texts come from the interface table, filled once at start as in the program.
    static const bool texts = [] {
        Texts::init();
        return true;
    }();
    (void)texts;
    const QByteArray xml(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ProfileSet set;
    QString error;
    if (!ProfileSet::parse(xml, set, &error)) {
        if (error.isEmpty())
            __builtin_trap();
        return 0;
    }
    QList<int> selected;
    const QList<ProfileTreeNode> tree = set.tree(&selected);
    if (!selected.isEmpty() && (selected.size() != 3 || selected.at(0) >= tree.size()))
        __builtin_trap();
    for (int p = 0; p < set.profiles.size() && p < 64; ++p) {
        for (const bool useDefaults : {false, true}) {
            auto choices = set.choices(p, useDefaults);
            for (const ParamChoice& choice : choices) {
                if (!choice.entries.isEmpty() && (choice.selected < 0 || choice.selected >= choice.entries.size()))
                    __builtin_trap();
            }
            for (const ProfileLimit& limit : set.profiles.at(p).limits.mid(0, 16))
                set.applyCodec(p, limit.value, useDefaults, choices);
        }
        set.indexOfDesc(set.profiles.at(p).desc);
    }
    const QStringList paths = set.profilePaths();
    for (qsizetype i = 0; i < paths.size() && i < 64; ++i) {
        if (set.indexOfPath(paths.at(i)) < 0)
            __builtin_trap();
    }
    return 0;
}
