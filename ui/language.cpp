#include "ui/language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace language {

void install()
{
    const QLocale system = QLocale::system();
    const QStringList preferred = system.uiLanguages();
    if (!preferred.isEmpty() && preferred.first().startsWith(QLatin1String("zh")))
        return;
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QString folder = QStringLiteral(":/translations");
    if (translator->load(system, QStringLiteral("quorvant"), QStringLiteral("_"), folder)
        || translator->load(QStringLiteral("quorvant_en"), folder))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace language
