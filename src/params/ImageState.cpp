#include "ImageState.h"

const char UntouchedWriteQuestion[]
    = "The parameter set was not read from a module or loaded from a file. Write an erased parameter set to the "
      "module?";
const char UnkeptChangesQuestion[] = "The parameter set was changed and neither written nor saved. Quit anyway?";
const char UnkeptChangesLoadQuestion[]
    = "The parameter set was changed and neither written nor saved. Load the site's parameter set anyway?";
const char UnkeptChangesReplaceQuestion[]
    = "The parameter set was changed and neither written nor saved. Replace it anyway?";
const char NothingWrittenText[] = " Write: nothing was written.";

namespace {

QString clock(const QDateTime &when)
{
    return when.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

void ImageState::erase()
{
    *this = ImageState();
}

void ImageState::readFromModule(const QString &port, const QDateTime &when)
{
    *this = ImageState();
    m_source = Source::Module;
    m_port = port;
    m_when = when;
}

void ImageState::writtenToModule(const QString &port, Verify verify, const QDateTime &when)
{
    *this = ImageState();
    m_source = Source::Written;
    m_port = port;
    m_when = when;
    m_verify = verify;
}

void ImageState::loadedFromFile(const QString &name)
{
    *this = ImageState();
    m_source = Source::File;
    m_file = name;
}

void ImageState::loadedFromSite(const QString &what)
{
    loadedFromFile(what);
    m_source = Source::Site;
}

void ImageState::savedToFile(const QString &name)
{
    // Unchanged values still come from where they came from; changed ones
    // are now those of the file.
    if (!m_changed)
        return;
    loadedFromFile(name);
}

void ImageState::storedFromEditor(bool changed)
{
    m_stored = true;
    m_changed = m_changed || changed;
}

QString ImageState::sourceLine() const
{
    if (m_changed) {
        switch (m_source) {
        case Source::Erased:
            return QStringLiteral("Entered in the editor: not in a module or a file");
        case Source::Module:
            return QStringLiteral("Changed in the editor after the last read: not in the module");
        case Source::Written:
            return QStringLiteral("Changed in the editor after the last write: not in the module");
        case Source::File:
            return QStringLiteral("Changed in the editor after loading the file %1: not in the module or the file")
                .arg(m_file);
        case Source::Site:
            return QStringLiteral("Changed in the editor after loading %1 from the site book: not in the module")
                .arg(m_file);
        }
    }
    switch (m_source) {
    case Source::Erased:
        break;
    case Source::Module:
        return QStringLiteral("Read from the module on %1 at %2").arg(m_port, clock(m_when));
    case Source::Written: {
        const QString line = QStringLiteral("Written to the module on %1 at %2").arg(m_port, clock(m_when));
        if (m_verify == Verify::Matched)
            return line + QStringLiteral(" and verified");
        if (m_verify == Verify::Differed)
            return line + QStringLiteral(", but the verify found differences");
        return line;
    }
    case Source::File:
        return QStringLiteral("From the file %1").arg(m_file);
    case Source::Site:
        return QStringLiteral("From the site book: %1").arg(m_file);
    }
    return QStringLiteral("Erased: not read from a module or loaded from a file");
}

QString ImageState::port() const
{
    return m_source == Source::Module || m_source == Source::Written ? m_port : QString();
}

ImageState &parameterImageState()
{
    static ImageState state;
    return state;
}

void WorkingImage::erase()
{
    fillImage(0xFF);
    parameterImageState().erase();
}

void WorkingImage::loadFromFile(const ImageBytes &image, const QString &name)
{
    ParameterImage = image;
    parameterImageState().loadedFromFile(name);
}

void WorkingImage::loadFromSite(const ImageBytes &image, const QString &what)
{
    ParameterImage = image;
    parameterImageState().loadedFromSite(what);
}

void WorkingImage::readFromModule(const QString &port, const std::function<void(ImageBytes &)> &keepPcBytes)
{
    if (keepPcBytes)
        keepPcBytes(ParameterImage);
    parameterImageState().readFromModule(port);
}

void WorkingImage::writtenToModule(const QString &port, ImageState::Verify verify)
{
    parameterImageState().writtenToModule(port, verify);
}

void WorkingImage::savedToFile(const QString &name)
{
    parameterImageState().savedToFile(name);
}

void WorkingImage::storeFromEditor(const ImageBytes &image)
{
    const bool changed = image != ParameterImage;
    ParameterImage = image;
    parameterImageState().storedFromEditor(changed);
}

WorkingImage &workingImage()
{
    static WorkingImage image;
    return image;
}
