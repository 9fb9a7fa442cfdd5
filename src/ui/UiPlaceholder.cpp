// The desktop shell's sources live in this folder.
