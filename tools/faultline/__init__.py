"""A serial line that lies: forwards bytes between Ostrel and a peer and spoils them on purpose."""
