#include "Language.h"

#include "Usage.h"

#include <QCoreApplication>
#include <QTranslator>

namespace tessaly {

static bool g_english = false;

bool InstallMessageLanguage()
{
    if (g_english || UsageLanguage() == UsageLang::Ja)
        return g_english;
    return InstallEnglishMessages();
}

bool InstallEnglishMessages()
{
    if (g_english)
        return true;
    static QTranslator translator;
    // A program without the translation keeps the texts as written: one language still.
    if (translator.load(QStringLiteral(":/i18n/tessaly_en.qm")) && QCoreApplication::installTranslator(&translator))
        g_english = true;
    return g_english;
}

bool MessagesInEnglish()
{
    return g_english;
}

QLocale MessageLocale()
{
    return g_english ? QLocale(QLocale::English, QLocale::UnitedStates) : QLocale(QLocale::Japanese, QLocale::Japan);
}

}  // namespace tessaly
