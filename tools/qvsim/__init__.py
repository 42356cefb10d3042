"""qvsim: a simulated Quorvel fire-alarm panel serving the panel's RS-232
protocol on a pseudo-terminal or a serial device, for tests and demos."""
