// The one seam for the table window's message boxes ("You are not
// connected.", "The Game is full, Disconnecting..", conversion errors): a box
// never stops the dispatch, and tests read the texts instead of clicking.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace ombrix::ui {

// Shows `text`; `then` runs once the box is dismissed (or at once in tests).
using MessageBoxSink = std::function<void(const QString& text, std::function<void()> then)>;
void setMessageBoxSink(MessageBoxSink sink);
void messageBox(const QString& text, std::function<void()> then = {});

// A question with the buttons Yes and No; `answer` gets true for Yes.
using QuestionSink = std::function<void(const QString& text, std::function<void(bool yes)> answer)>;
void setQuestionSink(QuestionSink sink);
void question(const QString& text, std::function<void(bool yes)> answer);

// A question with buttons of its own; the first is the default (Return).
// `answer` gets the index of the button pressed; closing the box answers
// the last, as Escape does.
using ChoiceSink =
    std::function<void(const QString& text, const QStringList& buttons, std::function<void(int)> answer)>;
void setChoiceSink(ChoiceSink sink);
void choice(const QString& text, const QStringList& buttons, std::function<void(int)> answer);

}  // namespace ombrix::ui
