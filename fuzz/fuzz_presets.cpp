// Any file as "APNs.dat": loading always gives a list with the custom entry
// 0, every entry reads as a preset line without failing, and a field never
// holds a double quote. What saving the list writes reads back as the same
// list, and a line built from an entry's fields reads back as those fields.

#include "FuzzSupport.h"

#include "common/Windows1250.h"
#include "editor/GprsPresets.h"
#include "serial/TextLineFile.h"

namespace {

void require(bool condition, const char *what)
{
    if (!condition)
        Fuzz::fail("presets", what);
}

bool hasQuote(const GprsPresets::PresetFields &fields)
{
    return fields.apn.contains(u'"') || fields.userName.contains(u'"') || fields.password.contains(u'"');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QString file = Fuzz::scratchDirectory() + QStringLiteral("/") + GprsPresets::FileName;
    Fuzz::WriteFile(file, data, size);

    const QStringList list = GprsPresets::loadPresetList(file);
    require(!list.isEmpty(), "no entry 0");
    require(GprsPresets::isCustomEntry(list, 0), "entry 0 is not the custom entry");
    const GprsPresets::PresetFields remembered{QStringLiteral("apn"), QStringLiteral("user"), QStringLiteral("pwd")};
    require(GprsPresets::selectionTexts(list, 0, remembered) == remembered, "entry 0 did not show the custom texts");

    for (qsizetype i = 0; i < list.size(); ++i) {
        const GprsPresets::PresetFields fields = GprsPresets::readPresetLine(list.at(i));
        require(!hasQuote(fields), "a field holds a double quote");
        if (i > 0)
            require(GprsPresets::selectionTexts(list, static_cast<int>(i), remembered) == fields,
                    "a selected entry shows other texts than its line");
        QString name = list.at(i).left(GprsPresets::NameWidth);
        name.remove(u'"');
        require(GprsPresets::readPresetLine(GprsPresets::presetLine(name, fields)) == fields,
                "a built line reads back other fields");
    }

    // What saving writes, read back the way loading reads it (the file
    // traffic itself is the port setting target's, through the same unit).
    QByteArray saved;
    for (const QString &line : list)
        saved += Windows1250::fromUnicode(line) + "\r\n";
    require(TextLineFile::splitLines(Windows1250::toUnicode(saved)) == list, "the saved list would come back changed");
    return 0;
}
