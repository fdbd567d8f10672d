// Replaced by the readers.
