#pragma once
// The guard in front of every command that needs a selected magazine.
class QWidget;

// True when magIdx names a magazine; otherwise warns over parent that none is selected
// and returns false, so the caller just returns.
bool RequireMagazine(QWidget *parent, int magIdx);
