#pragma once

#include <QFont>

// The font of every dialog template: 8 points of a sans-serif face whose metrics are close to
// the desktop dialog font the templates' dialog units were laid out for (about 13 pixels high
// and a little over 5 pixels a letter at 96 DPI). Liberation Sans has Arial's metrics and ships
// with Debian (fonts-liberation2); the families after it are taken only where it is missing.
QFont DialogFont();
