// Any text as an export document. Import never fails on its own output: what
// it accepts exports and imports back to the same bytes, and importing the
// document again onto its own result changes nothing.

#include "FuzzSupport.h"

#include "params/ParameterExport.h"

namespace {

void require(bool condition, const char *what)
{
    if (!condition)
        Fuzz::fail("import", what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView json(reinterpret_cast<const char *>(data), qsizetype(size));
    const ParameterExport::Imported imported = ParameterExport::importImage(json);
    if (!imported.ok())
        return 0;
    const ParameterExport::Imported back = ParameterExport::importImage(ParameterExport::exportImage(imported.image));
    require(back.ok(), "an export of an imported image was refused");
    require(back.image == imported.image, "an export of an imported image came back different");
    const ParameterExport::Imported again = ParameterExport::importImage(json, imported.image);
    require(again.ok(), "the document was refused on its own result");
    require(again.image == imported.image, "the document changed its own result");
    return 0;
}
