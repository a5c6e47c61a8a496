// SPDX-License-Identifier: MIT
#ifndef MAPPLICATIONPAGEMODEL_H
#define MAPPLICATIONPAGEMODEL_H

// Holds the page-level enums; the page itself keeps the values.
class MApplicationPageModel
{
public:
    enum PageEscapeMode {
        EscapeAuto = 0, // the escape button reads "Back" and raises backButtonClicked()
        EscapeCloseWindow = 2, // the escape button closes the window
    };
};

#endif
