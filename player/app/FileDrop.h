// The SWF files among the file names of a drag: local files whose extension is "swf" in any letter case.
#pragma once

#include <QStringList>

#include <functional>

class QEvent;
class QMimeData;

// The paths in their drag order; empty when the drag holds no SWF file.
QStringList getFileNamesForDrag(const QMimeData* data);

// Answers a window's drag-enter or drop event: the action the drag proposes when `accept` takes its data, refused
// otherwise.
void answerDrag(QEvent* event, const std::function<bool(const QMimeData*)>& accept);
