// The thumbnail browser of a multi-image input.
#include "app/viewcontroller.h"

#include "app/prompter.h"
#include "data/ui/multiimagecollectionview.h"
#include "util/diagnostics.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>

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

    // The grid first: it starts decoding the first screen's thumbnails in the background, which
    // then overlaps with labelling every image below.
    multiimagecollection->resize(workAreaSize());
    multiimagecollection->commoninit();
    browsermodel.data.reserve(browsermodel.data.size() + urlarray.size());
    for (const QString& path : urlarray)
        browsermodel.data.insert(imageset::storedName(path), QStringLiteral("0"));
    multiimagecollection->update();
    inputdatatype = 2;
    resetImagePanel(QStringLiteral("Label"));
    showInPane(LabelViewBtn, lastlabelview, multiimagecollection);
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
