// Win32 implementation of the operating-system layer.
