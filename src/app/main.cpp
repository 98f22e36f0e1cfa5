#include "infooptions.h"
#include "mainform.h"
#include "myqapplication.h"

#include <QIcon>
#include <QPixmap>
#include <iostream>

int main(int argc, char** argv)
{
    if (const auto exitCode = answerInfoOption(argc, argv, std::cout))
        return *exitCode;
    Q_INIT_RESOURCE(icons);
    MyQApplication app(argc, argv);
    app.setWindowIcon(QIcon(QPixmap(QStringLiteral(":/Icons/resources/korva.ico"))));
    MainForm form;
    app.mainForm = &form;
    app.registerDeviceNotification();
    form.show();
    return app.exec();
}
