// Any image through the settings window itself (offscreen): LoadSettings
// fills the controls, StoreSettings writes them back. No byte outside the
// fields changes, and every field is stored as its encoding alone would store
// it, except that a spinner holds its value within its range. (The parameter
// file target checks that the encodings' store is stable; one load and store
// per input keeps this target fast.)

#include "FieldRoundTrip.h"
#include "FuzzSupport.h"

#include "editor/Settings.h"

#include <QApplication>
#include <QSpinBox>

#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition)
        Fuzz::fail("editor", what);
}

// Made once: building the window costs far more than a load and store. Never
// destroyed, so that nothing of it runs after libFuzzer's exit.
TSettingsForm &form()
{
    static TSettingsForm *form = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "fuzz_editor";
        static char *argv[] = {name, nullptr};
        new QApplication(argc, argv);
        // The window reads "APNs.dat" of the current directory: an empty
        // folder gives the built-in list every time.
        const Fuzz::InScratchDirectory empty;
        return new TSettingsForm;
    }();
    return *form;
}

// What the spinner of a one- or two-byte number field stores after loading
// the field: the number (taken as a signed 16-bit value if it has two
// bytes), held within the field's range.
bool spinnerStored(const EEAddr::Field &f, const ImageBytes &loaded, const ImageBytes &stored)
{
    const auto *spin = qobject_cast<const QSpinBox *>(form().controlOf(f.offset));
    if (!spin)
        return false;
    const auto before = fieldBytes(loaded, f);
    const auto after = fieldBytes(stored, f);
    const int shown = f.encoding == EEAddr::Encoding::Word16BE
                          ? static_cast<std::int16_t>(Encodings::Word16BE::Read(before))
                          : Encodings::ByteValue::Read(before);
    // The spinner takes more digits than the field's range; the store keeps to the range.
    const int expected = std::clamp(shown, 0, f.maximum);
    const int got = f.encoding == EEAddr::Encoding::Word16BE ? Encodings::Word16BE::Read(after)
                                                              : Encodings::ByteValue::Read(after);
    return got == expected;
}

bool isSpinnerField(const EEAddr::Field &f)
{
    return f.encoding == EEAddr::Encoding::Word16BE || f.encoding == EEAddr::Encoding::ByteValue;
}

} // namespace

// Fontconfig keeps the fonts it looks up for the first text of an unusual
// script in caches it never frees; those are not this program's leaks.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ImageBytes image;
    image.fill(0xFF);
    std::copy_n(data, std::min(size, image.size()), image.begin());

    ImageBytes stored = image;
    form().LoadSettings(image);
    form().StoreSettings(stored);
    require(FieldRoundTrip::onlyFieldsDiffer(image, stored), "a byte outside the fields changed");
    const ImageBytes direct = FieldRoundTrip::loadAndStoreAll(image);
    for (const EEAddr::Field &f : EEAddr::Fields) {
        if (isSpinnerField(f)) {
            require(spinnerStored(f, image, stored), "a spinner stored another value");
        } else {
            const auto window = fieldBytes(stored, f);
            const auto encoding = fieldBytes(direct, f);
            require(std::equal(window.begin(), window.end(), encoding.begin(), encoding.end()),
                    "the window stored a field otherwise than its encoding");
        }
    }
    return 0;
}
