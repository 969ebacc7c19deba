#pragma once
// Qt's own texts (message-box buttons, the file dialogs, an edit box's menu)
// in the program's language, Chinese, whatever the system's locale says.

// Loads qtbase_zh_CN.qm from the program's translations/ folder (the Windows
// zip carries it there) or from Qt's (Debian: qt6-translations-l10n) and
// installs it; false when neither has it, and Qt's texts stay English.
bool InstallQtTranslation();
