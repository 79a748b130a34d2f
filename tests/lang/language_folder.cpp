#include "language_folder.h"

#include "host/code_page.h"
#include "lang/language_globals.h"

#include <gtest/gtest.h>

namespace tarnlow::test {

LanguageFolder::LanguageFolder()
    : m_path(gs_path)
    , m_lang(gs_lang)
    , m_font(gs_font) {
    gs_path = m_scratch.path() + QLatin1Char('/');
}

LanguageFolder::~LanguageFolder() {
    gs_path = m_path;
    gs_lang = m_lang;
    gs_font = m_font;
}

void LanguageFolder::writeLanguage(const QString& fileName, const QString& text, bool gbk) {
    QByteArray bytes = text.toUtf8();
    if (gbk) {
        Result<QByteArray> encoded = toSystemCodePage(text);
        ASSERT_TRUE(encoded.ok()) << qPrintable(encoded.error());
        bytes = *encoded;
    }
    ASSERT_TRUE(m_scratch.write(fileName, bytes));
}

void LanguageFolder::useLanguage(const QString& fileName, const QString& text, bool gbk) {
    writeLanguage(fileName, text, gbk);
    gs_lang = fileName;
}

} // namespace tarnlow::test
