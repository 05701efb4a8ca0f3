// POSIX implementation of the operating-system layer.
