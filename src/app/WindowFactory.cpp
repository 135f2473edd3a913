#include "WindowFactory.h"

#include "FolderWindows.h"
#include "dataSet.h"
#include "WindowHost.h"
#include "prtPaperF.h"

#include <QWidget>

// One include and one line per window.

namespace tessaly {

QWidget *CreateChildWindow(const QString &name, WindowHost &host)
{
    if (name == QLatin1String("topFolderF"))
        return new topFolderF(host);
    if (name == QLatin1String("htmlOut"))
        return new htmlOut(host);
    if (name == QLatin1String("dataSet"))
        return new dataSet(host);
    if (name == QLatin1String("prtPaperF"))
        return new prtPaperF(host);
    return nullptr;
}

QSize StandardWindowSizeTwips(const QString &name)
{
    if (name == QLatin1String("dataSet"))
        return QSize(11000, 7500);
    if (name == QLatin1String("topFolderF") || name == QLatin1String("htmlOut"))
        return QSize(6990, 3645);
    if (name == QLatin1String("prtPaperF"))
        return QSize(5145, 3945);
    return QSize();
}

}  // namespace tessaly
