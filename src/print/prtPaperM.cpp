#include "prtPaperM.h"

#include "PaperCodes.h"
#include "UserOptions.h"

#include <QFile>

#ifdef TESSALY_HAVE_CUPS
#include <cups/cups.h>
#include <cups/pwg.h>

#include <cstdlib>
#include <strings.h>
#endif

namespace tessaly {

#ifdef TESSALY_HAVE_CUPS

namespace {

// The default destination with the user's options, and what the printer supports.
class DefaultDest {
public:
    DefaultDest()
    {
        m_dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
        if (m_dest)
            m_info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, m_dest);
    }
    ~DefaultDest()
    {
        if (m_info)
            cupsFreeDestInfo(m_info);
        if (m_dest)
            cupsFreeDests(1, m_dest);
    }
    DefaultDest(const DefaultDest &) = delete;
    DefaultDest &operator=(const DefaultDest &) = delete;

    bool ok() const { return m_dest && m_info; }
    // "name" or "name/instance", as the user's options file names it.
    QByteArray key() const
    {
        return m_dest->instance ? QByteArray(m_dest->name) + '/' + m_dest->instance : QByteArray(m_dest->name);
    }

    const char *option(const char *name) const
    {
        return cupsGetOption(name, m_dest->num_options, m_dest->options);
    }
    ipp_attribute_t *printerDefault(const char *name) const
    {
        return cupsFindDestDefault(CUPS_HTTP_DEFAULT, m_dest, m_info, name);
    }
    bool supports(const char *name, const QByteArray &value) const
    {
        return cupsCheckDestSupported(CUPS_HTTP_DEFAULT, m_dest, m_info, name, value.constData()) != 0;
    }

private:
    cups_dest_t *m_dest = nullptr;
    cups_dinfo_t *m_info = nullptr;
};

// A media keyword in any of the forms users and drivers write (PWG, legacy IPP,
// PPD PageSize) turned into its PWG name; empty when it names no size CUPS knows.
QString PwgName(const QByteArray &value)
{
    const pwg_media_t *m = pwgMediaForPWG(value.constData());
    if (!m)
        m = pwgMediaForLegacy(value.constData());
    if (!m)
        m = pwgMediaForPPD(value.constData());
    return m && m->pwg ? QString::fromLatin1(m->pwg) : QString();
}

// The size part of a media value; media may list a size together with a source or
// type ("iso_a4_210x297mm,tray-1").
QString MediaSize(const char *value)
{
    const QList<QByteArray> parts = QByteArray(value).split(',');
    for (const QByteArray &part : parts) {
        const QString pwg = PwgName(part.trimmed());
        if (!pwg.isEmpty())
            return pwg;
    }
    return QString::fromLatin1(value);
}

// The size part of media replaced, its source or type kept.
QByteArray MediaWithSize(const char *media, const QByteArray &size)
{
    QList<QByteArray> parts{size};
    for (const QByteArray &part : QByteArray(media).split(','))
        if (!part.trimmed().isEmpty() && PwgName(part.trimmed()).isEmpty())
            parts.append(part.trimmed());
    return parts.join(',');
}

QString CurrentMedia(const DefaultDest &d)
{
    // A job's PageSize wins over its media.
    if (const char *v = d.option("PageSize"))
        return MediaSize(v);
    if (const char *v = d.option("media"))
        return MediaSize(v);
    ipp_attribute_t *attr = d.printerDefault("media");
    if (attr && ippGetValueTag(attr) == IPP_TAG_KEYWORD) {
        if (const char *v = ippGetString(attr, 0, nullptr))
            return MediaSize(v);
    }
    return QString();
}

bool IsFalse(const char *v)
{
    return !strcasecmp(v, "false") || !strcasecmp(v, "no") || !strcasecmp(v, "off");
}

// orientation-requested of the destination; 0 when it has none.
int CurrentOrientation(const DefaultDest &d)
{
    if (const char *v = d.option("orientation-requested")) {
        char *end = nullptr;
        const long n = strtol(v, &end, 10);
        if (end != v && *end == '\0')
            return int(n);
        return ippEnumValue("orientation-requested", v);
    }
    // lp's short form.
    if (const char *v = d.option("landscape"))
        return IsFalse(v) ? 3 : 4;
    ipp_attribute_t *attr = d.printerDefault("orientation-requested");
    if (attr && (ippGetValueTag(attr) == IPP_TAG_ENUM || ippGetValueTag(attr) == IPP_TAG_INTEGER))
        return ippGetInteger(attr, 0);
    // No orientation asked for: pages come out as they are, upright.
    return 3;
}

}  // namespace

int16_t prtPaperM::GetPrinterPaperSize()
{
    DefaultDest d;
    if (!d.ok())
        return -1;
    return qMax<int16_t>(PaperCodeForPwgMedia(CurrentMedia(d)), 0);
}

int16_t prtPaperM::GetPrinterOrientation()
{
    DefaultDest d;
    if (!d.ok())
        return -1;
    return qMax<int16_t>(OrientationCodeForIpp(CurrentOrientation(d)), 0);
}

void prtPaperM::SetPrinterPaperSize(int16_t code)
{
    const PaperEntry *paper = FindPaperCode(code);
    if (!paper)
        return;
    DefaultDest d;
    const QByteArray size = paper->pwgMedia.toLatin1();
    if (!d.ok() || !d.supports("media", size))
        return;
    // A PageSize would win over the new media; PageRegion does not.
    write(d.key(), "media", MediaWithSize(d.option("media"), size), {"PageSize"});
}

void prtPaperM::SetPrinterOrientation(int16_t code)
{
    const int ipp = IppOrientationForCode(code);
    if (!ipp)
        return;
    DefaultDest d;
    const QByteArray value = QByteArray::number(ipp);
    if (!d.ok() || !d.supports("orientation-requested", value))
        return;
    write(d.key(), "orientation-requested", value, {"landscape"});
}

void prtPaperM::RememberSettings()
{
    m_keeper.begin();
}

void prtPaperM::write(const QByteArray &dest, const char *name, const QByteArray &value,
                      std::initializer_list<const char *> replaced)
{
    // The default printer may have changed since start-up: the entry is noted where it is written.
    m_keeper.write(dest, [&] { return UserOptions::setOption(dest, name, value, replaced); });
}

void prtPaperM::RestoreSettings()
{
    m_keeper.end();
}

QString DefaultPrinterName()
{
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest)
        return QString();
    QString name = QString::fromUtf8(dest->name);
    if (dest->instance)
        name += QLatin1Char('/') + QString::fromUtf8(dest->instance);
    cupsFreeDests(1, dest);
    return name;
}

int PrintOnDefaultPrinter(const QString &pdfPath, const QString &title)
{
    cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest)
        return 0;
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, dest->name, QFile::encodeName(pdfPath).constData(),
                                   title.toUtf8().constData(), dest->num_options, dest->options);
    cupsFreeDests(1, dest);
    return job;
}

#else  // no CUPS: there is never a printer

int16_t prtPaperM::GetPrinterPaperSize() { return -1; }
int16_t prtPaperM::GetPrinterOrientation() { return -1; }
void prtPaperM::SetPrinterPaperSize(int16_t) {}
void prtPaperM::SetPrinterOrientation(int16_t) {}
void prtPaperM::RememberSettings() {}
void prtPaperM::RestoreSettings() {}
void prtPaperM::write(const QByteArray &, const char *, const QByteArray &, std::initializer_list<const char *>) {}
QString DefaultPrinterName() { return QString(); }
int PrintOnDefaultPrinter(const QString &, const QString &) { return 0; }

#endif

}  // namespace tessaly
