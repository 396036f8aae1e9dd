// Renders the windows as they look with sample contents into PNG files:
//   zel_ui_snapshot OUTDIR
// writes OUTDIR/engine-layout.png, product-layout.png and contact-dialog.png, and
// glyphs.png: the buttons' glyph strips enlarged four times, to judge the pictures.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/application.h"
#include "ui/branding.h"
#include "ui/contact_dialog.h"
#include "ui/engine_dialog.h"
#include "ui/product_dialog.h"
#include "ui/qt/glyphs.h"
#include "ui/qt/qt_runtime.h"

using namespace ui;
using namespace ui::qt;

namespace {
bool Save(QWidget* w, const QString& path) {
    const bool ok = w && w->grab().save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "saved" : "NOT saved", path.toLocal8Bit().constData());
    return ok;
}

void SampleStatus(TEngineDialog& form) {
    form.ProgressMemo.Append("Connecting to update server...");
    form.ProgressMemo.Append("Getting upgrade information.");
    form.ProgressMemo.Append("Comparing versions");
    form.ProgressMemo.SelBold = true;
    form.ProgressMemo.Append("Finished all update processes");
    form.ProgressBar.Max = 100;
    form.ProgressBar.Position = 60;
}

bool SaveGlyphs(const QString& path) {
    const struct {
        TGlyph glyph;
        int size;
    } glyphs[] = {
        {TGlyph::Cross, 18}, {TGlyph::ArrowIntoPage, 16}, {TGlyph::DoorUnderSign, 18}, {TGlyph::CheckMark, 18}};
    const int scale = 4, row = 18 * scale + 8;
    QImage sheet(2 * 18 * scale + 8, int(std::size(glyphs)) * row, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    for (size_t i = 0; i < std::size(glyphs); ++i) {
        const QImage strip = GlyphStrip(glyphs[i].glyph, glyphs[i].size);
        p.drawImage(QRect(4, int(i) * row + 4, strip.width() * scale, strip.height() * scale), strip);
    }
    p.end();
    const bool ok = sheet.save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "saved" : "NOT saved", path.toLocal8Bit().constData());
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    ProductName = "Brinquet\xC2\xAE Express";
    Application().Title = "Brinquet\xC2\xAE Express Updater";
    TQtRuntime runtime(argc, argv);
    SetRuntime(&runtime);
    QDir().mkpath(out);
    bool ok = SaveGlyphs(out + "/glyphs.png");

    TEngineDialog engine;
    SampleStatus(engine);
    runtime.ShowForm(engine);
    runtime.ProcessMessages();
    ok &= Save(runtime.WindowOf(engine), out + "/engine-layout.png");
    engine.Close();

    TEngineDialog product;
    TProductDialogExtras extras(product);
    ApplyProductLayout(product, extras);
    ApplyProductName(product);
    SampleStatus(product);
    extras.MoreInfoLabel.Visible = true;
    runtime.ShowForm(product);
    runtime.ProcessMessages();
    ok &= Save(runtime.WindowOf(product), out + "/product-layout.png");

    TContactDialog contact(&product);
    ApplyProductName(contact);
    contact.ContactNameEdit.Text = "Pat Example";
    contact.EmailEdit.Text = "pat@example.com";
    QTimer::singleShot(300, [&] {
        ok &= Save(runtime.WindowOf(contact), out + "/contact-dialog.png");
        if (auto* button = qobject_cast<QPushButton*>(runtime.WidgetOf(contact.BitBtn1))) button->click();
    });
    const int result = runtime.ShowModal(contact);
    product.Close();
    SetRuntime(nullptr);
    return ok && result == mrOk ? 0 : 1;
}
