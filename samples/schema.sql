-- Company-file schema: every table and column the reports read, in one superset.
-- Money is DECIMAL(19,4) (stored exactly to four decimals), dates are DATE ('yyyy-mm-dd'
-- text), identifiers INTEGER, flags the product's one-letter texts ('Y'/'N', 'H'/'D' ...).
-- DriverUsers is the driver's own list of users; the driver never serves it to queries.
CREATE TABLE DataFileInformation (
  CompanyName VARCHAR(52),
  SerialNumber VARCHAR(20),
  CurrentFinancialYear SMALLINT,
  LastMonthInFinancialYear SMALLINT,
  Phone VARCHAR(21),
  FaxNumber VARCHAR(21),
  Address VARCHAR(255),
  UseMultipleCurrencies CHAR(1),
  DataBaseVersion VARCHAR(20),
  DataFileCountry VARCHAR(3),
  UseCategories CHAR(1),
  RequireCategories CHAR(1),
  UseCostCentres CHAR(1),
  CostCentresRequired CHAR(1),
  ChangeControl VARCHAR(20),
  DriverBuildNumber VARCHAR(20)
);
CREATE TABLE LinkedAccounts (
  ReceivablesAccountID INTEGER,
  PayablesAccountID INTEGER,
  ReceivablesDepositsID INTEGER,
  PayablesDepositsID INTEGER,
  ReceivablesDiscountsID INTEGER,
  PayablesDiscountsID INTEGER,
  ReceivablesFreightID INTEGER,
  PayablesFreightID INTEGER
);
CREATE TABLE Currency (
  CurrencyID INTEGER PRIMARY KEY,
  CurrencyCode VARCHAR(3),
  CurrencyName VARCHAR(30),
  ExchangeRate DOUBLE,
  CurrencySymbol VARCHAR(3),
  SymbolPosition VARCHAR(1),
  LinkedReceivablesAccountID INTEGER,
  LinkedPayablesAccountID INTEGER
);
CREATE TABLE TaxCodes (
  TaxCodeID INTEGER PRIMARY KEY,
  TaxCode VARCHAR(3),
  TaxCodeDescription VARCHAR(30),
  TaxPercentageRate DOUBLE,
  TaxCollectedAccountID INTEGER,
  TaxPaidAccountID INTEGER
);
CREATE TABLE Accounts (
  AccountID INTEGER PRIMARY KEY,
  ParentAccountID INTEGER,
  AccountNumber VARCHAR(6),
  AccountName VARCHAR(30),
  AccountTypeID VARCHAR(1),
  AccountLevel SMALLINT,
  AccountClassificationID VARCHAR(3),
  SubAccountClassificationID VARCHAR(3),
  CurrencyID INTEGER,
  CurrencyExchangeAccountID INTEGER,
  TaxCodeID INTEGER,
  ThisYearOpeningBalance DECIMAL(19,4),
  IsActive CHAR(1),
  AccountDescription VARCHAR(255)
);
CREATE INDEX ix_Accounts_AccountNumber ON Accounts (AccountNumber);
CREATE TABLE AccountActivities (
  AccountID INTEGER,
  FinancialYear SMALLINT,
  Period SMALLINT,
  Amount DECIMAL(19,4)
);
CREATE INDEX ix_AccountActivities_AccountID_FinancialYear_Period ON AccountActivities (AccountID, FinancialYear, Period);
CREATE TABLE AccountBudgets (
  AccountID INTEGER,
  FinancialYear SMALLINT,
  Period SMALLINT,
  Amount DECIMAL(19,4)
);
CREATE INDEX ix_AccountBudgets_AccountID_FinancialYear_Period ON AccountBudgets (AccountID, FinancialYear, Period);
CREATE TABLE CustomLists (
  CustomListID INTEGER PRIMARY KEY,
  CustomListText VARCHAR(30),
  CustomListNumber SMALLINT,
  CustomListName VARCHAR(30),
  CustomListType VARCHAR(10)
);
CREATE TABLE Items (
  ItemID INTEGER PRIMARY KEY,
  ItemNumber VARCHAR(30),
  ItemName VARCHAR(30),
  ItemIsBought CHAR(1),
  ItemIsSold CHAR(1),
  ItemIsInventoried CHAR(1),
  IncomeAccountID INTEGER,
  ExpenseAccountID INTEGER,
  InventoryAccountID INTEGER
);
CREATE INDEX ix_Items_ItemNumber ON Items (ItemNumber);
CREATE TABLE Activities (
  ActivityID INTEGER PRIMARY KEY,
  ActivityCode VARCHAR(30),
  ActivityName VARCHAR(30),
  IncomeAccountID INTEGER
);
CREATE TABLE Jobs (
  JobID INTEGER PRIMARY KEY,
  JobNumber VARCHAR(15),
  JobName VARCHAR(25)
);
CREATE TABLE Cards (
  CardRecordID INTEGER PRIMARY KEY,
  CardTypeID VARCHAR(1),
  Name VARCHAR(52)
);
CREATE TABLE JournalSets (
  SetID INTEGER PRIMARY KEY,
  JournalTypeID VARCHAR(3),
  SourceID INTEGER,
  TransactionNumber VARCHAR(10),
  Memo VARCHAR(255),
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE
);
CREATE TABLE JournalRecords (
  JournalRecordID INTEGER PRIMARY KEY,
  SetID INTEGER,
  AccountID INTEGER,
  TransactionDate DATE,
  TaxExclusiveAmount DECIMAL(19,4),
  JobID INTEGER,
  IsForeignTransaction CHAR(1)
);
CREATE INDEX ix_JournalRecords_SetID ON JournalRecords (SetID);
-- The journal is read by date range and by account and date range: both indexes cover the
-- columns those reads select, so that no row of the table itself has to be looked up.
CREATE INDEX ix_JournalRecords_TransactionDate
  ON JournalRecords (TransactionDate, SetID, AccountID, TaxExclusiveAmount, JobID, IsForeignTransaction);
CREATE INDEX ix_JournalRecords_AccountID_TransactionDate ON JournalRecords (AccountID, TransactionDate, TaxExclusiveAmount);
CREATE TABLE Sales (
  SaleID INTEGER PRIMARY KEY,
  CardRecordID INTEGER,
  InvoiceNumber VARCHAR(8),
  InvoiceDate DATE,
  InvoiceTypeID VARCHAR(1),
  InvoiceStatusID VARCHAR(2),
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  TotalLines DECIMAL(19,4),
  TaxExclusiveFreight DECIMAL(19,4),
  TaxInclusiveFreight DECIMAL(19,4),
  TotalTax DECIMAL(19,4),
  FreightTaxCodeID INTEGER,
  CategoryID INTEGER,
  CostCentreID INTEGER
);
CREATE TABLE SalesInvoices (
  SaleID INTEGER PRIMARY KEY,
  CardRecordID INTEGER,
  InvoiceNumber VARCHAR(8),
  InvoiceDate DATE,
  InvoiceTypeID VARCHAR(1),
  InvoiceStatusID VARCHAR(2),
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  TotalLines DECIMAL(19,4),
  TaxExclusiveFreight DECIMAL(19,4),
  TaxInclusiveFreight DECIMAL(19,4),
  TotalTax DECIMAL(19,4),
  FreightTaxCodeID INTEGER,
  CategoryID INTEGER,
  CostCentreID INTEGER
);
CREATE TABLE SalesOrders (
  SaleID INTEGER PRIMARY KEY,
  CardRecordID INTEGER,
  InvoiceNumber VARCHAR(8),
  InvoiceDate DATE,
  InvoiceTypeID VARCHAR(1),
  InvoiceStatusID VARCHAR(2),
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  TotalLines DECIMAL(19,4),
  TaxExclusiveFreight DECIMAL(19,4),
  TaxInclusiveFreight DECIMAL(19,4),
  TotalTax DECIMAL(19,4),
  FreightTaxCodeID INTEGER,
  CategoryID INTEGER,
  CostCentreID INTEGER
);
CREATE TABLE Purchases (
  PurchaseID INTEGER PRIMARY KEY,
  CardRecordID INTEGER,
  PurchaseNumber VARCHAR(8),
  PurchaseDate DATE,
  PurchaseTypeID VARCHAR(1),
  PurchaseStatusID VARCHAR(2),
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  TotalLines DECIMAL(19,4),
  TaxExclusiveFreight DECIMAL(19,4),
  TaxInclusiveFreight DECIMAL(19,4),
  TotalTax DECIMAL(19,4),
  FreightTaxCodeID INTEGER,
  CategoryID INTEGER,
  CostCentreID INTEGER
);
CREATE TABLE ServiceSaleLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ServiceSaleLines_SaleID ON ServiceSaleLines (SaleID);
CREATE TABLE ProfessionalSaleLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ProfessionalSaleLines_SaleID ON ProfessionalSaleLines (SaleID);
CREATE TABLE MiscSaleLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_MiscSaleLines_SaleID ON MiscSaleLines (SaleID);
CREATE TABLE ItemSaleLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  ItemID INTEGER,
  Quantity DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveTotal DECIMAL(19,4),
  TaxInclusiveTotal DECIMAL(19,4),
  TaxAmount DECIMAL(19,4),
  CostofGoodsSoldAmount DECIMAL(19,4)
);
CREATE INDEX ix_ItemSaleLines_SaleID ON ItemSaleLines (SaleID);
CREATE TABLE TimeBillingSaleLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  ActivityID INTEGER,
  Units DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Notes VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_TimeBillingSaleLines_SaleID ON TimeBillingSaleLines (SaleID);
CREATE TABLE ServicePurchaseLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ServicePurchaseLines_PurchaseID ON ServicePurchaseLines (PurchaseID);
CREATE TABLE ProfessionalPurchaseLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ProfessionalPurchaseLines_PurchaseID ON ProfessionalPurchaseLines (PurchaseID);
CREATE TABLE MiscPurchaseLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_MiscPurchaseLines_PurchaseID ON MiscPurchaseLines (PurchaseID);
CREATE TABLE ItemPurchaseLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  ItemID INTEGER,
  Quantity DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveTotal DECIMAL(19,4),
  TaxInclusiveTotal DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ItemPurchaseLines_PurchaseID ON ItemPurchaseLines (PurchaseID);
CREATE TABLE ServiceSaleInvoiceLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ServiceSaleInvoiceLines_SaleID ON ServiceSaleInvoiceLines (SaleID);
CREATE TABLE ProfessionalSaleInvoiceLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ProfessionalSaleInvoiceLines_SaleID ON ProfessionalSaleInvoiceLines (SaleID);
CREATE TABLE MiscSaleInvoiceLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_MiscSaleInvoiceLines_SaleID ON MiscSaleInvoiceLines (SaleID);
CREATE TABLE ItemSaleInvoiceLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  ItemID INTEGER,
  Quantity DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveTotal DECIMAL(19,4),
  TaxInclusiveTotal DECIMAL(19,4),
  TaxAmount DECIMAL(19,4),
  CostofGoodsSoldAmount DECIMAL(19,4)
);
CREATE INDEX ix_ItemSaleInvoiceLines_SaleID ON ItemSaleInvoiceLines (SaleID);
CREATE TABLE TimeBillingSaleInvoiceLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  ActivityID INTEGER,
  Units DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Notes VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_TimeBillingSaleInvoiceLines_SaleID ON TimeBillingSaleInvoiceLines (SaleID);
CREATE TABLE ServicePurchaseInvoiceLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ServicePurchaseInvoiceLines_PurchaseID ON ServicePurchaseInvoiceLines (PurchaseID);
CREATE TABLE ProfessionalPurchaseInvoiceLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ProfessionalPurchaseInvoiceLines_PurchaseID ON ProfessionalPurchaseInvoiceLines (PurchaseID);
CREATE TABLE MiscPurchaseInvoiceLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_MiscPurchaseInvoiceLines_PurchaseID ON MiscPurchaseInvoiceLines (PurchaseID);
CREATE TABLE ItemPurchaseInvoiceLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  ItemID INTEGER,
  Quantity DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveTotal DECIMAL(19,4),
  TaxInclusiveTotal DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ItemPurchaseInvoiceLines_PurchaseID ON ItemPurchaseInvoiceLines (PurchaseID);
CREATE TABLE ServiceSaleOrderLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ServiceSaleOrderLines_SaleID ON ServiceSaleOrderLines (SaleID);
CREATE TABLE ProfessionalSaleOrderLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ProfessionalSaleOrderLines_SaleID ON ProfessionalSaleOrderLines (SaleID);
CREATE TABLE MiscSaleOrderLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_MiscSaleOrderLines_SaleID ON MiscSaleOrderLines (SaleID);
CREATE TABLE ItemSaleOrderLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  ItemID INTEGER,
  Quantity DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveTotal DECIMAL(19,4),
  TaxInclusiveTotal DECIMAL(19,4),
  TaxAmount DECIMAL(19,4),
  CostofGoodsSoldAmount DECIMAL(19,4)
);
CREATE INDEX ix_ItemSaleOrderLines_SaleID ON ItemSaleOrderLines (SaleID);
CREATE TABLE TimeBillingSaleOrderLines (
  SaleLineID INTEGER PRIMARY KEY,
  SaleID INTEGER,
  LineNumber SMALLINT,
  ActivityID INTEGER,
  Units DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Notes VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_TimeBillingSaleOrderLines_SaleID ON TimeBillingSaleOrderLines (SaleID);
CREATE TABLE ServicePurchaseOrderLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ServicePurchaseOrderLines_PurchaseID ON ServicePurchaseOrderLines (PurchaseID);
CREATE TABLE ProfessionalPurchaseOrderLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ProfessionalPurchaseOrderLines_PurchaseID ON ProfessionalPurchaseOrderLines (PurchaseID);
CREATE TABLE MiscPurchaseOrderLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_MiscPurchaseOrderLines_PurchaseID ON MiscPurchaseOrderLines (PurchaseID);
CREATE TABLE ItemPurchaseOrderLines (
  PurchaseLineID INTEGER PRIMARY KEY,
  PurchaseID INTEGER,
  LineNumber SMALLINT,
  ItemID INTEGER,
  Quantity DOUBLE,
  JobID INTEGER,
  TaxCodeID INTEGER,
  Description VARCHAR(255),
  TaxExclusiveTotal DECIMAL(19,4),
  TaxInclusiveTotal DECIMAL(19,4),
  TaxAmount DECIMAL(19,4)
);
CREATE INDEX ix_ItemPurchaseOrderLines_PurchaseID ON ItemPurchaseOrderLines (PurchaseID);
CREATE TABLE CustomerPayments (
  CustomerPaymentID INTEGER PRIMARY KEY,
  PaymentNumber VARCHAR(8),
  TransactionDate DATE,
  Memo VARCHAR(255),
  CardRecordID INTEGER,
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  TotalCustomerPayment DECIMAL(19,4)
);
CREATE TABLE CustomerPaymentLines (
  CustomerPaymentLineID INTEGER PRIMARY KEY,
  CustomerPaymentID INTEGER,
  SaleID INTEGER,
  AmountApplied DECIMAL(19,4)
);
CREATE INDEX ix_CustomerPaymentLines_CustomerPaymentID ON CustomerPaymentLines (CustomerPaymentID);
CREATE INDEX ix_CustomerPaymentLines_SaleID ON CustomerPaymentLines (SaleID);
CREATE TABLE SupplierPayments (
  SupplierPaymentID INTEGER PRIMARY KEY,
  PaymentNumber VARCHAR(8),
  TransactionDate DATE,
  Memo VARCHAR(255),
  CardRecordID INTEGER,
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  TotalSupplierPayment DECIMAL(19,4)
);
CREATE TABLE SupplierPaymentLines (
  SupplierPaymentLineID INTEGER PRIMARY KEY,
  SupplierPaymentID INTEGER,
  PurchaseID INTEGER,
  AmountApplied DECIMAL(19,4)
);
CREATE INDEX ix_SupplierPaymentLines_SupplierPaymentID ON SupplierPaymentLines (SupplierPaymentID);
CREATE INDEX ix_SupplierPaymentLines_PurchaseID ON SupplierPaymentLines (PurchaseID);
CREATE TABLE VendorPayments (
  VendorPaymentID INTEGER PRIMARY KEY,
  PaymentNumber VARCHAR(8),
  TransactionDate DATE,
  Memo VARCHAR(255),
  CardRecordID INTEGER,
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  TotalVendorPayment DECIMAL(19,4)
);
CREATE TABLE VendorPaymentLines (
  VendorPaymentLineID INTEGER PRIMARY KEY,
  VendorPaymentID INTEGER,
  PurchaseID INTEGER,
  AmountApplied DECIMAL(19,4)
);
CREATE INDEX ix_VendorPaymentLines_VendorPaymentID ON VendorPaymentLines (VendorPaymentID);
CREATE INDEX ix_VendorPaymentLines_PurchaseID ON VendorPaymentLines (PurchaseID);
CREATE TABLE MoneySpent (
  MoneySpentID INTEGER PRIMARY KEY,
  ChequeNumber VARCHAR(8),
  IssuingAccountID INTEGER,
  CardRecordID INTEGER,
  TransactionDate DATE,
  TotalSpentAmount DECIMAL(19,4),
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  Memo VARCHAR(255),
  CategoryID INTEGER,
  CostCentreID INTEGER
);
CREATE TABLE MoneySpentLines (
  MoneySpentLineID INTEGER PRIMARY KEY,
  MoneySpentID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4),
  JobID INTEGER,
  TaxCodeID INTEGER,
  LineMemo VARCHAR(255)
);
CREATE INDEX ix_MoneySpentLines_MoneySpentID ON MoneySpentLines (MoneySpentID);
CREATE TABLE MoneyReceived (
  MoneyReceivedID INTEGER PRIMARY KEY,
  DepositNumber VARCHAR(8),
  RecipientAccountID INTEGER,
  CardRecordID INTEGER,
  TransactionDate DATE,
  TotalAmountReceived DECIMAL(19,4),
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  Memo VARCHAR(255),
  CategoryID INTEGER,
  CostCentreID INTEGER
);
CREATE TABLE MoneyReceivedLines (
  MoneyReceivedLineID INTEGER PRIMARY KEY,
  MoneyReceivedID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4),
  JobID INTEGER,
  TaxCodeID INTEGER,
  LineMemo VARCHAR(255)
);
CREATE INDEX ix_MoneyReceivedLines_MoneyReceivedID ON MoneyReceivedLines (MoneyReceivedID);
CREATE TABLE GeneralJournals (
  GeneralJournalID INTEGER PRIMARY KEY,
  GeneralJournalNumber VARCHAR(8),
  Memo VARCHAR(255),
  TransactionDate DATE,
  CurrencyID INTEGER,
  TransactionExchangeRate DOUBLE,
  GSTReportingMethodID VARCHAR(1),
  CategoryID INTEGER,
  CostCentreID INTEGER
);
CREATE TABLE GeneralJournalLines (
  GeneralJournalLineID INTEGER PRIMARY KEY,
  GeneralJournalID INTEGER,
  LineNumber SMALLINT,
  AccountID INTEGER,
  TaxExclusiveAmount DECIMAL(19,4),
  TaxInclusiveAmount DECIMAL(19,4),
  TaxAmount DECIMAL(19,4),
  LineMemo VARCHAR(255),
  JobID INTEGER,
  TaxCodeID INTEGER
);
CREATE INDEX ix_GeneralJournalLines_GeneralJournalID ON GeneralJournalLines (GeneralJournalID);
CREATE TABLE WritePayCheque (
  WritePayChequeID INTEGER PRIMARY KEY,
  ChequeNumber VARCHAR(8),
  TransactionDate DATE,
  CardRecordID INTEGER,
  NetPay DECIMAL(19,4),
  Memo VARCHAR(255),
  TransactionExchangeRate DOUBLE,
  CategoryID INTEGER,
  CostCentreID INTEGER
);
CREATE TABLE WritePayChequeLines (
  WritePayChequeLineID INTEGER PRIMARY KEY,
  WritePayChequeID INTEGER,
  AccountID INTEGER,
  Amount DECIMAL(19,4),
  JobID INTEGER
);
CREATE INDEX ix_WritePayChequeLines_WritePayChequeID ON WritePayChequeLines (WritePayChequeID);
CREATE TABLE DriverUsers (
  UserID VARCHAR(30) PRIMARY KEY COLLATE NOCASE,
  Password VARCHAR(30) NOT NULL DEFAULT ''
);
