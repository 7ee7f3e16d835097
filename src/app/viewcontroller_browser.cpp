// The thumbnail browser of a multi-image input.
#include "app/viewcontroller.h"
#include "app/labelpane.h"

#include "dialogs/prompter.h"
#include "data/imagesetdocument.h"
#include "data/ui/multiimagecollectionview.h"
#include "util/diagnostics.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>

namespace {
// With more images than this beyond the first screen, its thumbnails are waited for a moment:
// the decoding then has the cores to itself and nothing holds it back.
constexpr qsizetype kLongLabelling = 5000;
// How long an open waits at most for those thumbnails.
constexpr int kFirstScreenWaitMs = 250;
}  // namespace

void ViewController::openPictures(const QStringList& paths)
{
    urlarray = paths;
    openMultiImageurl();
}

void ViewController::reloadMultiImageBrowser() { m_labelPane->multiimagecollection()->reload(); }

void ViewController::openMultiImageurl()
{
    scrollview->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollview->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The browser takes its size first: it starts decoding the first screen's thumbnails in the
    // background as soon as the document announces the pictures.
    m_labelPane->multiimagecollection()->resize(workAreaSize());
    m_pictures->openPictures(urlarray);
    inputdatatype = 2;
    resetImagePanel(QStringLiteral("Label"));
    showInPane(LabelViewBtn, lastlabelview, m_labelPane->multiimagecollection());
    const qsizetype firstScreen = std::min<qsizetype>(m_labelPane->multiimagecollection()->firstScreenRows(), urlarray.size());
    if (firstScreen < urlarray.size()) {
        const bool longWork = urlarray.size() - firstScreen > kLongLabelling;
        m_labelPane->multiimagecollection()->showFirstScreen(QDeadlineTimer(longWork ? kFirstScreenWaitMs : 0));
    }
}

void ViewController::labelmultiimage()
{
    diag::print("going to change image labels");
    if (m_labelPane->multiimagecollection()->selsectedimage.isEmpty()) {
        m_prompter.alert(QStringLiteral("Select the thumbnails to label first."), AlertStyle::Informational);
        return;
    }
    m_labelPane->multiimagecollection()->labelSelected(m_labelPane->imagelabelval()->text());
}
