"""A small zoo: keepers and animals, with a field for every check the zod module makes."""
