# Payload files of each edition (filled in by the payload build).
