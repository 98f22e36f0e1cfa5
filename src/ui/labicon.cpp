// SPDX-License-Identifier: MIT
#include "labicon.h"

QIcon labIcon()
{
    QIcon icon(QStringLiteral(":/Icons/resources/korva.ico"));
    for (int size : {64, 128, 256})
        icon.addFile(QStringLiteral(":/Icons/resources/korva-%1.png").arg(size));
    return icon;
}
