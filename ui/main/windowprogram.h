#pragma once

// veldar-window: the window of veldar-convert, which runs that program
// whenever a window is wanted:
//
//   veldar-convert                      the window
//   veldar-convert picture.bmp          the window with the picture
//   veldar-convert picture.bmp -g16     writes picture.g16 and ends (here only
//                                       when no settings file tells where the
//                                       window stands)
//
// Runs it with the process's own arguments and returns its exit status.
int RunWindowProgram(int argc, char** argv);
