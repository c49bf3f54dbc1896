#pragma once
// Qt's own texts (the standard buttons of message boxes, the file dialogs) in Japanese, like
// every other text of the program, whatever the user's locale.
class QCoreApplication;

namespace QtTranslations {

// Loads Qt's Japanese catalogue into the application. False when it is not installed: the
// standard texts then stay in English and the program works on.
bool install(QCoreApplication &app);

} // namespace QtTranslations
