#include "panel/app/about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/framework/look.h"
#include "panel/framework/picture_view.h"
#include "panel/framework/strings.h"

namespace panel {

AboutDlg::AboutDlg(QWidget* parent) : QDialog(parent) { MarkDialog(this); }

void AboutDlg::OnInitDialog() {
    if (initialised_) return;
    initialised_ = true;
    setFont(DialogFont());
    setWindowTitle(LoadString(102));
    version = LoadString(102) + QStringLiteral(" ") + LoadString(152);
    auto* picture = new PictureView(156, 0xF0F0F0, this);
    picture->setFixedSize(32, 32);
    auto* line = WithId(new QLabel(version, this), kAboutVersionText);
    auto* ok = WithId(new QPushButton(QStringLiteral("OK"), this), 1);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(line, 1);
    top->addWidget(ok, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
}

int AboutDlg::DoModal() {
    OnInitDialog();
    return exec();
}

}  // namespace panel
