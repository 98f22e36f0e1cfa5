// SPDX-License-Identifier: MIT
#include "highdpi.h"
#include "infooptions.h"
#include "labicon.h"
#include "mainform.h"
#include "myqapplication.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (const auto exitCode = answerInfoOption(argc, argv, std::cout))
        return *exitCode;
    Q_INIT_RESOURCE(icons);
    prepareHighDpi(argc, argv);
    MyQApplication app(argc, argv);
    app.setWindowIcon(labIcon());
    MainForm form;
    app.mainForm = &form;
    app.registerDeviceNotification();
    form.show();
    return app.exec();
}
