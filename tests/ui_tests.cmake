# Tests of the window and the plain functions behind it.
