#include "mainform.h"
#include "myqapplication.h"

#include <QIcon>
#include <QPixmap>

int main(int argc, char** argv)
{
    Q_INIT_RESOURCE(icons);
    MyQApplication app(argc, argv);
    app.setWindowIcon(QIcon(QPixmap(QStringLiteral(":/Icons/resources/korva.ico"))));
    MainForm form;
    app.mainForm = &form;
    app.registerDeviceNotification();
    form.show();
    return app.exec();
}
