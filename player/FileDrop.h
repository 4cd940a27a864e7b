// The SWF files among the file names of a drag: local files whose extension is "swf" in any letter case.
#pragma once

#include <QStringList>

class QMimeData;

// The paths in their drag order; empty when the drag holds no SWF file.
QStringList getFileNamesForDrag(const QMimeData* data);
