// LineLimit.h: a line edit's length limit that never leaves half a character in the box.
#pragma once

class QLineEdit;

// Limits the box to maxLength UTF-16 code units, as QLineEdit::setMaxLength does, and removes
// the lone half of a character outside the BMP (an emoji, a rare ideograph) that the limit cuts
// off when such a character is typed or pasted at the end: the box then holds only whole
// characters, and what it shows is what gets stored.
void SetLineLimit(QLineEdit *box, int maxLength);
