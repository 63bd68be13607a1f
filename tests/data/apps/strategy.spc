* The solve strategy for an MPS problem: a linear program gets steepest-edge pricing.
BEGIN
  Solve strategy 1
END
