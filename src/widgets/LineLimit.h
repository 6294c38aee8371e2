// LineLimit.h: a line edit's length limit that never leaves half a character in the box.
#pragma once

class QLineEdit;

// QLineEdit::setMaxLength counts UTF-16 code units: a character outside the BMP (an emoji, a rare
// ideograph) typed or pasted where only one unit is left would keep its first half, which is
// stored as U+FFFD. From this call on, such a lone half is removed from the box as soon as it
// appears, so the box holds only whole characters and what it shows is what gets stored.
void KeepWholeCharacters(QLineEdit *box);

// setMaxLength(maxLength) with KeepWholeCharacters.
void SetLineLimit(QLineEdit *box, int maxLength);
