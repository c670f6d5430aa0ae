#include "app/QtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallQtTexts(const std::string& Language)
{
    // One translator for the whole process, swapped when the language changes.
    static QTranslator* Texts = nullptr;
    if (Texts) {
        QCoreApplication::removeTranslator(Texts);
        delete Texts;
        Texts = nullptr;
    }
    auto* T = new QTranslator;
    // QLocale tries "de_DE", then "de".
    if (!T->load(QLocale(QString::fromStdString(Language)), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete T;
        return false;
    }
    QCoreApplication::installTranslator(T);
    Texts = T;
    return true;
}
