BEGIN pricing option 0 (the default)
END
