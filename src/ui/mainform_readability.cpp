// What makes the window readable at its fixed geometry: a status bar that
// keeps its message and shows long ones in full, the endpoint table in a
// fixed-pitch font, and texts that fit the widgets they are drawn in.
#include "mainform.h"

#include "statusbarkeeper.h"

#include <QFontDatabase>

void MainForm::setupReadability()
{
    m_statusKeeper = new StatusBarKeeper(this, statusbar);

    // The endpoint table lines its columns up with spaces.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(font().pointSizeF());
    infoWindow->setFont(fixed);
}
