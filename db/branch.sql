/* Schema of a branch database (<server>\datos\<code>\quorvan.fdb) of the
   stand-in ERP: the invoice tables and the id procedure that the replication
   writes to and calls.

   Dialect 3, default character set ISO8859_1. Run it on a new, empty database:
       SET SQL DIALECT 3;
       CREATE DATABASE '/path/quorvan.fdb' USER 'SYSDBA'
           DEFAULT CHARACTER SET ISO8859_1;
       INPUT '/path/to/db/branch.sql';

   Lines of a copied invoice must name articles of the branch's own ARTICULO;
   sample_articles.sql fills it with the articles of the sample data. */

/* The copy of an invoice holds FACT_TRM with two decimals. */
CREATE DOMAIN D_FACT_TRM AS NUMERIC(15,2);
COMMIT;

INPUT 'invoice_tables.sql';

/* Branch ids start above 500000, company ids above 1000. */
SET GENERATOR GEN_FACTURAS_ID TO 500000;
COMMIT;
