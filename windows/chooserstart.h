#pragma once

// Where a file chooser opens for the file a field names.
#include <QString>

// At that file, so that the chooser shows its folder with the file selected; a relative name
// counts from the working folder, as the program opens it. Empty (the chooser's own default)
// when the name is empty or its folder does not exist.
QString chooserStart(const QString &fileName);
