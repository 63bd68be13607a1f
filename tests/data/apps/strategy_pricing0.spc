* The solve strategy keeps the pricing option the user chose.
BEGIN
  Solve strategy 1
  Pricing option 0
END
