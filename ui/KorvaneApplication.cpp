#include "KorvaneApplication.h"

#include <clocale>
#include <string>

#include <QFont>
#include <QLibraryInfo>
#include <QTextLayout>

#include "MessageBoxes.h"
#include "VerifySetupInfo.h"

// Outside any namespace, as Q_INIT_RESOURCE requires. A static library's
// resources are only linked in when something calls this.
static void RegisterKorvaneResources() { Q_INIT_RESOURCE(korvane); }

void InitResources() {
  static const bool registered = (RegisterKorvaneResources(), true);
  (void)registered;
}

void InstallFontSubstitutions() {
  // Noto's SC faces are named explicitly: a bare CJK fallback would follow
  // LANG and draw Chinese with Japanese glyph shapes under an English locale.
  const QString serifSc = QStringLiteral("Noto Serif CJK SC");
  const QString sansSc = QStringLiteral("Noto Sans CJK SC");
  QFont::insertSubstitutions(QStringLiteral("宋体"), {serifSc, sansSc});
  QFont::insertSubstitutions(QStringLiteral("Times New Roman"),
                             {QStringLiteral("Liberation Serif"), serifSc, sansSc});
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("Liberation Sans"), sansSc});
}

void PinTextLanguage() {
  // HarfBuzz chooses the regional forms of Han characters from LC_CTYPE,
  // read once, at the first text it shapes: under a Japanese locale even
  // an SC face would draw Japanese shapes (and under a Chinese one a JP
  // face Chinese ones). Shaping the first text under the neutral "C"
  // locale leaves the choice to the font named. The user's locale is put
  // back at once; this runs before any other thread exists.
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string userLocale = current ? current : "C";
  std::setlocale(LC_CTYPE, "C");
  QTextLayout layout(QStringLiteral("校验"));
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  std::setlocale(LC_CTYPE, userLocale.c_str());
}

TKorvaneApplication::TKorvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {
  InitResources();
  PinTextLanguage();
  InstallFontSubstitutions();
  // The interface is Chinese whatever LANG says, so the standard buttons are too.
  FQtTranslationLoaded =
      FQtTranslator.load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (FQtTranslationLoaded) installTranslator(&FQtTranslator);
  QFont base(QStringLiteral("MS Sans Serif"));
  base.setPixelSize(12);
  setFont(base);
  setApplicationName(FTitle);
}

TKorvaneApplication* TKorvaneApplication::Instance() {
  return qobject_cast<TKorvaneApplication*>(QCoreApplication::instance());
}

bool TKorvaneApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(error);
    return false;
  }
}

QString TKorvaneApplication::ExceptionText(const std::exception& error, const std::string& reason) {
  QString text = QString::fromUtf8(error.what());
  // Messages that already end their sentence are not given a second stop.
  if (!text.endsWith(QLatin1Char('.'))) text += QLatin1Char('.');
  if (!reason.empty()) text += QLatin1Char('\n') + QString::fromUtf8(reason.data(), qsizetype(reason.size()));
  return text;
}

void TKorvaneApplication::ShowException(const std::exception& error, const std::string& reason) {
  ShowMessage(FTitle, ExceptionText(error, reason), TMessageKind::Error);
}

void ShowApplicationException(const std::exception& error, const std::string& given) {
  // A settings file that cannot be written says why, as a log that cannot.
  const auto* settings = dynamic_cast<const ESettingsWriteError*>(&error);
  const std::string& reason = given.empty() && settings ? settings->Reason() : given;
  if (TKorvaneApplication* application = TKorvaneApplication::Instance())
    application->ShowException(error, reason);
  else
    ShowMessage(QCoreApplication::applicationName(),
                TKorvaneApplication::ExceptionText(error, reason), TMessageKind::Error);
}
