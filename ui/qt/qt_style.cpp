#include "ui/qt/qt_style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <map>

namespace ui::qt {

QString ResolveFamily(const std::string& Name) {
    static std::map<std::string, QString> cache;
    auto it = cache.find(Name);
    if (it != cache.end()) return it->second;
    QString family = QString::fromStdString(Name);
    if (!QFontDatabase::hasFamily(family)) {
        // Metric-compatible with Arial, which is close to the Windows dialog fonts; the
        // others are what a plain desktop has.
        family.clear();
        for (const char* candidate : {"Liberation Sans", "Arimo", "Noto Sans", "DejaVu Sans"})
            if (QFontDatabase::hasFamily(candidate)) {
                family = candidate;
                break;
            }
        if (family.isEmpty()) {
            QFont probe;
            probe.setStyleHint(QFont::SansSerif);
            family = probe.defaultFamily();
        }
    }
    cache.emplace(Name, family);
    return family;
}

QFont ResolveFont(const TFont& Font) {
    QFont f(ResolveFamily(Font.Name));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(Font.Height > 0 ? Font.Height : 11);
    f.setBold(Font.Bold);
    f.setUnderline(Font.Underline);
    return f;
}

QColor ResolveColor(TColor Color) {
    if (!(Color & clSystem)) return QColor((Color >> 16) & 0xFF, (Color >> 8) & 0xFF, Color & 0xFF);
    const QPalette pal = QApplication::palette();
    if (Color == clBtnFace) return pal.color(QPalette::Button);
    if (Color == clWindowText) return pal.color(QPalette::WindowText);
    if (Color == clHighlight) return pal.color(QPalette::Highlight);
    if (Color == clWindow) return pal.color(QPalette::Base);
    return pal.color(QPalette::WindowText);
}

QString PlainCaption(const std::string& Caption) {
    std::string out;
    for (size_t i = 0; i < Caption.size(); ++i) {
        if (Caption[i] != '&') {
            out += Caption[i];
        } else if (i + 1 < Caption.size() && Caption[i + 1] == '&') {
            out += '&';
            ++i;
        }
    }
    return QString::fromStdString(out);
}

}  // namespace ui::qt
