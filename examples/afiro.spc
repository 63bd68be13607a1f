* Options for the Netlib problem AFIRO: a full iteration log and the solution listing.
BEGIN  afiro with a detailed log
   Print level           1
   Log frequency         1
   Solution              Yes
END
* The same problem again from the all-slack basis without scaling.
BEGIN  afiro unscaled from slacks
   Crash option          0
   Scale option          0
   Solution              No
END
