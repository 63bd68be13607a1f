* A SPECS file with a misspelled keyword: the command reports it and solves without it.
BEGIN
  Iteratoins limit 50
  Scale option 0
END
