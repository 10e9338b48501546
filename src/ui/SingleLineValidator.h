// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keeps CR, LF and U+0000 out of a box whose text ends up as a line of a list file (the format
// has no escaping): the text that a change brought in is cut at the first of them, and the text
// around it stays.

#include <QString>
#include <QValidator>

class TKvSingleLineValidator : public QValidator {
public:
  using QValidator::QValidator;

  State validate(QString &input, int &pos) const override;

private:
  mutable QString FLast; // the text last accepted, to tell what a change brought in
};
