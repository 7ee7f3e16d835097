// The thumbnail browser of a multi-image input.
#include "app/viewcontroller.h"

#include "app/prompter.h"
#include "data/ui/multiimagecollectionview.h"
#include "util/diagnostics.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>

namespace {
// With more images than this still to label, the first screen's thumbnails are waited for
// before labelling them: the decoding then has the cores to itself and nothing holds it back.
constexpr qsizetype kLongLabelling = 5000;
// How long an open waits at most for those thumbnails.
constexpr int kFirstScreenWaitMs = 250;
}  // namespace

void ViewController::buildBrowserViews()
{
    multiimagecollection = new multiimagecollectionview(browsermodel, m_parking);
    multiimagecollection->hide();
}

void ViewController::reloadMultiImageBrowser()
{
    multiimagecollection->update();
    multiimagecollection->reload();
}

void ViewController::openMultiImageurl()
{
    scrollview->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollview->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    browsermodel.haspredict = false;
    browsermodel.urlarray = urlarray;

    // The grid first: it starts decoding the first screen's thumbnails in the background.
    multiimagecollection->resize(workAreaSize());
    multiimagecollection->commoninit();
    // Every image starts at "0". Labelling a large set takes a while, so the images of the first
    // screen are labelled and painted first, with their thumbnails when many images remain.
    const qsizetype firstScreen = std::min<qsizetype>(multiimagecollection->firstScreenRows(), urlarray.size());
    browsermodel.data.reserve(browsermodel.data.size() + urlarray.size());
    labelOpened(0, firstScreen);
    multiimagecollection->update();
    inputdatatype = 2;
    resetImagePanel(QStringLiteral("Label"));
    showInPane(LabelViewBtn, lastlabelview, multiimagecollection);
    if (firstScreen < urlarray.size()) {
        const bool longWork = urlarray.size() - firstScreen > kLongLabelling;
        multiimagecollection->showFirstScreen(QDeadlineTimer(longWork ? kFirstScreenWaitMs : 0));
        labelOpened(firstScreen, urlarray.size());
    }
}

void ViewController::labelOpened(qsizetype first, qsizetype end)
{
    const QString unlabelled = QStringLiteral("0");
    for (qsizetype k = first; k < end; ++k)
        browsermodel.data.insert(imageset::storedName(urlarray.at(k)), unlabelled);
}

void ViewController::labelmultiimage()
{
    diag::print("going to change image labels");
    if (multiimagecollection->selsectedimage.isEmpty()) {
        m_prompter.alert(QStringLiteral("Select the thumbnails to label first."), AlertStyle::Informational);
        return;
    }
    multiimagecollection->labelSelected(imagelabelval->text());
}
