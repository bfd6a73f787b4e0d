// What the run commands need of the window: the form exchange, the log,
// the two button texts, the window itself and a way to start a worker.
#pragma once

#include <functional>
#include <string>

#include "FormValues.h"

class CRunHost {
public:
  virtual ~CRunHost() = default;

  // Reads the whole form into the form values; shows the message of a
  // refused field, focuses it and returns false.
  virtual bool ReadFormValues() = 0;
  // Empties the log and writes the form values into the controls.
  virtual void EmptyLogAndWriteForm() = 0;
  // Splits the Source value into the run state's source list, echoing the
  // log text and each source to the log.
  virtual void ParseSourceList() = 0;
  // Returns the form values.
  virtual const CFormValues& FormValues() const = 0;

  // Set the texts of the Start button and of the Pause button.
  virtual void SetStartText(const char* text) = 0;
  virtual void SetPauseText(const char* text) = 0;

  // Shows the window normally (restored when minimised) and brings it to
  // the front.
  virtual void BringToFront() = 0;
  // Closes the window with the Exit command's result; the program ends.
  virtual void CloseWindow() = 0;

  // Runs work on a new thread that nobody waits for. Returns false with a
  // description in error when no thread could be created.
  virtual bool StartWorker(std::function<void()> work, std::string& error) = 0;
};
