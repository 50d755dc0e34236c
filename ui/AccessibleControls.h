#pragma once

#include <QString>

// What screen readers see of the owner-drawn controls that have no matching toolkit class to
// derive from: the option button (its own group rule, not the toolkit's exclusive buttons), the
// text line and the group frame. Check box, push buttons, slider, lists and the tree speak
// through the toolkit's own accessible implementations.
//
//   CRadioButton   radio button, named by its text; checkable, checked while selected;
//                  "Toggle" and "Press" select it as a click does
//   CColorStatic   label, named by its text
//   CGroupBox      grouping, named by its caption

// Registers the accessible implementations above with the toolkit; the controls call it when
// they are made, so it runs before any screen reader asks. Repeated calls do nothing.
void InstallAccessibleControls();

// A control's text as a screen reader says it: "&" before a letter marks a mnemonic and is
// dropped, "&&" is one "&"; line breaks and runs of spaces become one space.
QString SpokenText(const QString& text);
