#pragma once

#include "support/test_environment.h"

#include <QString>

namespace tarnlow::test {

// A scratch program folder (which is also the settings store) made gs_path for as long as the
// object lives; gs_lang and gs_font are put back afterwards.
class LanguageFolder {
public:
    LanguageFolder();
    ~LanguageFolder();
    LanguageFolder(const LanguageFolder&) = delete;
    LanguageFolder& operator=(const LanguageFolder&) = delete;

    ScratchFolder& scratch() { return m_scratch; }
    // Writes a language file as UTF-8, or as GBK bytes when gbk is set.
    void writeLanguage(const QString& fileName, const QString& text, bool gbk = false);
    // Writes the file and makes it the current language.
    void useLanguage(const QString& fileName, const QString& text, bool gbk = false);

private:
    ScratchFolder m_scratch;
    QString m_path;
    QString m_lang;
    QString m_font;
};

} // namespace tarnlow::test
